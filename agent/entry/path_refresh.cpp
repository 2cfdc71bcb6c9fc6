#include "entry/path_refresh.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/path_expansion.h"
#include "logs/trace.h"
#include "unique_handle.h"

namespace ferry::agent {
namespace {

constexpr char kEnvironmentKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

bool readMachinePath(std::string* value) {
  UniqueKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEnvironmentKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
    return false;
  }
  DWORD size = 0;
  if (RegQueryValueExA(key.get(), "Path", nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS ||
      size == 0) {
    return false;
  }
  std::vector<char> buffer(size + 1, '\0');
  if (RegQueryValueExA(key.get(), "Path", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()),
                       &size) != ERROR_SUCCESS) {
    return false;
  }
  buffer[std::min<size_t>(size, buffer.size() - 1)] = '\0';
  value->assign(buffer.data());
  return true;
}

std::optional<std::string> processVariable(const std::string& name) {
  char value[kMaxPathVariableValue + 1];
  SetLastError(ERROR_SUCCESS);
  DWORD length = GetEnvironmentVariableA(name.c_str(), value, sizeof value);
  if (length >= sizeof value) return std::nullopt;  // does not fit the lookup buffer
  if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
  return std::string(value, length);
}

}  // namespace

void refreshPath() {
  DWORD saved = GetLastError();
  std::string machinePath;
  if (readMachinePath(&machinePath)) {
    std::optional<std::string> expanded = expandMachinePath(machinePath, processVariable);
    if (expanded) {
      // The C runtime keeps its own copy of the environment; putenv updates it and the Win32
      // environment alike. Set the latter directly too, so that the process environment is
      // right whichever runtime copy a caller reads.
      std::string assignment = "PATH=" + *expanded;
      _putenv(assignment.c_str());
      SetEnvironmentVariableA("PATH", expanded->c_str());
    }
  }
  SetLastError(saved);
}

}  // namespace ferry::agent
