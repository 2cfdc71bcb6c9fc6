#include "launch.h"

#include <cstring>
#include <string>
#include <vector>

#include "process_information.h"
#include "trace.h"

namespace lookout {
namespace {

bool isDirectory(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// "C:\Tools\x.exe" gives "C:\Tools\", "C:\x.exe" gives "C:\".
std::string directoryOf(const char* path) {
  const char* slash = std::strrchr(path, '\\');
  return slash == nullptr ? std::string() : std::string(path, slash + 1);
}

}  // namespace

bool launchShortcut(const ShortcutRecord& record) {
  if (record.targetPath[0] == '\0') {
    trace("launchShortcut(): the shortcut %s has no target\r\n", record.name);
    return false;
  }
  const std::string directory =
      record.workingDirectory[0] != '\0' && isDirectory(record.workingDirectory)
          ? std::string(record.workingDirectory)
          : directoryOf(record.targetPath);
  // The program is named on its own and quoted in the command line, so that a target under
  // "C:\Program Files" never starts "C:\Program.exe".
  std::string commandLine = "\"" + std::string(record.targetPath) + "\"";
  if (record.arguments[0] != '\0') commandLine += " " + std::string(record.arguments);
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  // No standard handles: the tool is a program of its own, not a child of the console.
  startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_FORCEOFFFEEDBACK | STARTF_USESTDHANDLES;
  startup.wShowWindow = SW_SHOW;
  // Not waited for: only our handles to it go.
  ferry::UniqueProcessInformation process;
  if (!CreateProcessA(record.targetPath, line.data(), /*process security=*/nullptr,
                      /*thread security=*/nullptr, /*inherit=*/FALSE, DETACHED_PROCESS,
                      /*environment=*/nullptr, directory.empty() ? nullptr : directory.c_str(),
                      &startup, process.put())) {
    trace("launchShortcut(): %s could not be started, error %lu\r\n", record.targetPath,
          GetLastError());
    return false;
  }
  return true;
}

}  // namespace lookout
