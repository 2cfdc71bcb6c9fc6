// Small Win32 helpers shared by ingsim_lib and the simulated utilities: owning handle types,
// Win32 error text, and folder / file primitives that speak full Windows paths.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "held_lock.h"
#include "process_information.h"
#include "unique_handle.h"

namespace ingsim {

// The project's owner types.
using ferry::HeldLock;
using ferry::UniqueFile;
using ferry::UniqueFind;
using ferry::UniqueHandleNull;
using ferry::UniqueKey;
using ferry::UniqueLocalMemory;
using ferry::UniqueProcessInformation;

// "<what> failed: <system text> (error N)".
std::string win32Error(const std::string& what, DWORD error);

bool pathExists(const std::string& path);
bool isDirectory(const std::string& path);
// Creates a folder and its missing parents; "" or a message.
std::string makeDirectories(const std::string& path);
// Deletes a folder tree; a missing folder is not an error.
std::string removeTree(const std::string& path);
// Removes `folder` and then each parent up to (not including) `stop` while they are empty.
void removeEmptyFolders(const std::string& folder, const std::string& stop);

std::string writeTextFile(const std::string& path, const std::string& text);
std::string readWholeFile(const std::string& path, std::string* contents);
// Writes `size` bytes of the sample pattern of `patternName` in large blocks.
std::string writeSampleFile(const std::string& path, const std::string& patternName, uint64_t size);

// Folder of the running program, without trailing backslash.
std::string programFolder();
std::string parentFolder(const std::string& path);
// Path comparisons: case-insensitive, '/' and '\\' alike, trailing separators ignored.
bool samePath(const std::string& a, const std::string& b);

}  // namespace ingsim
