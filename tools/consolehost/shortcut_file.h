// Making shortcut (.lnk) files through the shell's own IShellLink, for sample and test
// Start-menu folders. The calling thread must have COM initialised.
#pragma once

#include <windows.h>

#include <string>

namespace consolehost {

struct ShortcutSpec {
  std::string target;
  std::string arguments;
  std::string workingDirectory;
  std::string description;
};

// Writes the shortcut file `path` (which should end in ".lnk").
HRESULT makeShortcut(const std::string& path, const ShortcutSpec& spec);

}  // namespace consolehost
