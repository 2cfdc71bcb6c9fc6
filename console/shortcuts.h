// The Start-menu side of the snap-in: which edition of the product is installed, where its two
// Start-menu folders are, and what the shortcuts in them hold.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace lookout {

// One shortcut file found in a folder, as read through the shell.
struct ShortcutRecord {
  char description[MAX_PATH] = "";
  char targetPath[MAX_PATH] = "";
  char name[MAX_PATH] = "";  // the file's name without its extension
  char workingDirectory[MAX_PATH] = "";
  // The shell link's own limit for arguments (INFOTIPSIZE), so that none are cut.
  char arguments[1024] = "";
  int iconIndex = 0;  // the icon's index inside the file that holds it
  int position = 0;   // the record's place in its folder, counting files only
};

enum class Edition { kNone, kTidewell, kEnterprise };

enum class FolderKind { kTools, kAgents };

// Edition 1 when its product key opens for reading, else edition 2 when its key does.
Edition installedEdition();

// The folder's full path: the common Start-menu programs folder, "NV\Halyard" and the edition's
// folder name. Empty for no edition or when the path does not fit MAX_PATH.
std::string startMenuFolder(Edition edition, FolderKind kind);

// True when a search for "folder\*.*" finds anything (an existing folder finds "." at least).
bool folderExists(const std::string& folder);

// Reads up to `limit` shortcut files of the folder, in the order the search finds them;
// directories are skipped, and files past the limit are traced and not read.
std::vector<ShortcutRecord> getLinkFileName(const std::string& folder, size_t limit);

// Fills target, arguments, description, working directory and icon index of `record` from the
// shortcut at `path`. A file that cannot be loaded as a shortcut leaves them empty.
void GetShortcutTarget(const char* path, ShortcutRecord* record);

}  // namespace lookout
