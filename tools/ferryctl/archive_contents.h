// An archive read whole and checked (every length, count and file's SHA-256) before anything
// uses it: what verify shows and what restore replays. The data stay in the file; this is
// everything else it holds.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/archive_format.h"

namespace ferry::ctl {

struct FileEntry {
  std::string path;
  uint32_t sizeKb = 0;
  uint64_t bytes = 0;
  archive::Digest digest{};
};

struct ObjectEntry {
  archive::ObjectInfo info;
  std::vector<FileEntry> files;
  uint64_t bytes = 0;
};

struct ArchiveContents {
  archive::ArchiveInfo info;
  std::vector<ObjectEntry> objects;
};

// Reads and checks the whole archive: "" or the line to print. *systemError receives the
// Windows error when the file could not be opened or read, else 0.
std::string readContents(const std::string& path, ArchiveContents* contents, DWORD* systemError);

// "database data", "journal files", "configuration and dump files".
std::string kindName(archive::ObjectKind kind);

// "2026-01-05 10:00:00 UTC", "(unknown)" for 0.
std::string fileTimeText(uint64_t fileTime);

// "0x10"
std::string hex32(uint32_t value);

}  // namespace ferry::ctl
