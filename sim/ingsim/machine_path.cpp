#include "ingsim/machine_path.h"

#include <algorithm>
#include <vector>

#include "ingsim/win_util.h"

namespace ingsim {
namespace {

class MachinePathLock {
 public:
  MachinePathLock() {
    mutex_.reset(CreateMutexA(/*security=*/nullptr, /*initialOwner=*/FALSE, kMachinePathMutex));
    if (!mutex_.valid()) {
      error_ = win32Error(std::string("creating mutex ") + kMachinePathMutex, GetLastError());
      return;
    }
    // An abandoned mutex still serialises us; the previous owner's edit either landed or not.
    held_ = HeldLock::wait(mutex_.get(), 60000);
    if (!held_) {
      error_ = "waiting for the machine Path mutex failed (wait result " +
               std::to_string(held_.waitResult()) + ")";
    }
  }
  const std::string& error() const { return error_; }

 private:
  UniqueHandleNull mutex_;
  HeldLock held_;  // given back before the handle closes
  std::string error_;
};

struct PathValue {
  std::string text;
  DWORD type = REG_EXPAND_SZ;
};

std::string readPath(HKEY key, PathValue* value) {
  // The value can grow between the size query and the read when a writer that does not take
  // our mutex (or, for machinePath, any writer) changes it: read again with the new size.
  std::vector<char> buffer(4096);
  for (;;) {
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(buffer.size() - 1);
    LONG rc = RegQueryValueExA(key, "Path", nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                               &size);
    if (rc == ERROR_FILE_NOT_FOUND) return "";
    if (rc == ERROR_MORE_DATA) {
      buffer.assign(size + 2, '\0');
      continue;
    }
    if (rc != ERROR_SUCCESS) return win32Error("reading the machine Path", static_cast<DWORD>(rc));
    buffer[std::min<size_t>(size, buffer.size() - 1)] = '\0';
    value->text.assign(buffer.data());
    if (type == REG_SZ || type == REG_EXPAND_SZ) value->type = type;
    return "";
  }
}

std::string writePath(HKEY key, const PathValue& value) {
  LONG rc =
      RegSetValueExA(key, "Path", 0, value.type, reinterpret_cast<const BYTE*>(value.text.c_str()),
                     static_cast<DWORD>(value.text.size() + 1));
  if (rc != ERROR_SUCCESS) return win32Error("writing the machine Path", static_cast<DWORD>(rc));
  // Programs started later read the value themselves; the WM_SETTINGCHANGE broadcast that would
  // tell running ones fails under Wine (1159) and nothing here depends on it.
  return "";
}

std::vector<std::string> splitEntries(const std::string& text) {
  std::vector<std::string> entries;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(';', start);
    if (end == std::string::npos) end = text.size();
    entries.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return entries;
}

std::string joinEntries(const std::vector<std::string>& entries) {
  std::string text;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (i > 0) text += ';';
    text += entries[i];
  }
  return text;
}

std::string openEnvironment(REGSAM access, UniqueKey* key) {
  LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEnvironmentKey, 0, access, key->put());
  if (rc != ERROR_SUCCESS) {
    return win32Error(std::string("opening HKLM\\") + kEnvironmentKey, static_cast<DWORD>(rc));
  }
  return "";
}

}  // namespace

std::string addMachinePathEntry(const std::string& folder) {
  MachinePathLock lock;
  if (!lock.error().empty()) return lock.error();
  UniqueKey key;
  std::string error = openEnvironment(KEY_READ | KEY_WRITE, &key);
  if (!error.empty()) return error;
  PathValue value;
  error = readPath(key.get(), &value);
  if (!error.empty()) return error;
  for (const std::string& entry : splitEntries(value.text)) {
    if (samePath(entry, folder)) return "";
  }
  if (!value.text.empty() && value.text.back() != ';') value.text += ';';
  value.text += folder;
  return writePath(key.get(), value);
}

std::string removeMachinePathEntry(const std::string& folder) {
  MachinePathLock lock;
  if (!lock.error().empty()) return lock.error();
  UniqueKey key;
  std::string error = openEnvironment(KEY_READ | KEY_WRITE, &key);
  if (!error.empty()) return error;
  PathValue value;
  error = readPath(key.get(), &value);
  if (!error.empty()) return error;
  std::vector<std::string> kept;
  bool removed = false;
  for (const std::string& entry : splitEntries(value.text)) {
    if (!entry.empty() && samePath(entry, folder)) {
      removed = true;
    } else {
      kept.push_back(entry);
    }
  }
  if (!removed) return "";
  value.text = joinEntries(kept);
  return writePath(key.get(), value);
}

std::string machinePath() {
  UniqueKey key;
  if (!openEnvironment(KEY_READ, &key).empty()) return "";
  PathValue value;
  readPath(key.get(), &value);  // an unreadable value reads as empty, as documented
  return value.text;
}

bool machinePathHas(const std::string& folder) {
  for (const std::string& entry : splitEntries(machinePath())) {
    if (!entry.empty() && samePath(entry, folder)) return true;
  }
  return false;
}

}  // namespace ingsim
