// Test helpers shared by the ingsim and utility tests: an installation that a test owns and
// removes, and small registry and file readers.
#pragma once

#include <windows.h>

#include <string>

#include "ingsim/installation.h"
#include "support/win_process.h"
#include "unique_handle.h"

namespace ingsim::test {

// Owns installation `code` at C:\ferrytest\<code>: leftovers of an earlier run are removed
// first, and everything is removed at the end of the test.
class ScopedInstallation {
 public:
  explicit ScopedInstallation(const std::string& code)
      : code_(code), root_("C:\\ferrytest\\" + code) {
    clean();
  }
  ScopedInstallation(const ScopedInstallation&) = delete;
  ScopedInstallation& operator=(const ScopedInstallation&) = delete;
  ~ScopedInstallation() { clean(); }

  const std::string& code() const { return code_; }
  const std::string& root() const { return root_; }
  InstallationOptions options(int majorVersion = 2) const {
    InstallationOptions o;
    o.code = code_;
    o.root = root_;
    o.majorVersion = majorVersion;
    return o;
  }
  std::string bin() const { return root_ + "\\ingres\\bin"; }

 private:
  void clean() {
    removeInstallation(code_);  // "not registered" is the normal case
    ferry::test::removeTree(root_);
  }
  std::string code_;
  std::string root_;
};

// A registry value as text; "<missing>" when it cannot be read. *type gets the value's type.
inline std::string registryString(const std::string& key, const char* name, DWORD* type = nullptr) {
  char buffer[4096];
  DWORD size = sizeof buffer, kind = 0;
  LONG rc = RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), name,
                         RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, &kind, buffer, &size);
  if (type != nullptr) *type = kind;
  if (rc != ERROR_SUCCESS) return "<missing>";
  return buffer;
}

inline bool registryKeyExists(const std::string& key) {
  ferry::UniqueKey handle;
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, handle.put()) == ERROR_SUCCESS;
}

inline std::string readFile(const std::string& path) {
  std::string contents;
  ferry::UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return "<unreadable>";
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
    contents.append(buffer, got);
  return contents;
}

inline bool exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace ingsim::test
