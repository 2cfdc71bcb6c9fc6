#include "setup_trace.h"

#include <msiquery.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "setup_log.h"

namespace ferry::setup {

void setupTrace(MSIHANDLE install, const char* format, ...) {
  char line[2048];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (n < 0) return;
  CSetupLog::write(line);
  if (install == 0) return;
  PMSIHANDLE record = MsiCreateRecord(1);
  if (record == 0) return;
  MsiRecordSetStringA(record, 0, line);
  // The installer log is a courtesy copy; the setup log above holds the line already.
  MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
}

HMODULE riggerModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&riggerModule), &module);
  return module;
}

std::string riggerFolder() {
  char path[MAX_PATH] = {};
  DWORD n = GetModuleFileNameA(riggerModule(), path, sizeof path);
  if (n == 0 || n >= sizeof path) return "";
  std::string text(path, n);
  size_t slash = text.find_last_of('\\');
  return slash == std::string::npos ? "" : text.substr(0, slash);
}

std::string messageText(UINT id) {
  char buffer[1024] = {};
  int n = LoadStringA(riggerModule(), id, buffer, sizeof buffer);
  return n > 0 ? std::string(buffer, n) : std::string();
}

std::string property(MSIHANDLE install, const char* name) {
  char small[1];
  DWORD size = 0;
  UINT rc = MsiGetPropertyA(install, name, small, &size);
  if (rc != ERROR_MORE_DATA && rc != ERROR_SUCCESS) return "";
  std::string value(size + 1, '\0');
  size = static_cast<DWORD>(value.size());
  if (MsiGetPropertyA(install, name, value.data(), &size) != ERROR_SUCCESS) return "";
  value.resize(size);
  return value;
}

void setProperty(MSIHANDLE install, const char* name, const std::string& value) {
  UINT rc = MsiSetPropertyA(install, name, value.c_str());
  if (rc != ERROR_SUCCESS) setupTrace(install, "MsiSetProperty(%s) failed: %u", name, rc);
}

bool copyField(char* field, size_t size, const std::string& text) {
  if (text.size() >= size) {
    field[0] = '\0';
    return false;
  }
  std::memcpy(field, text.c_str(), text.size() + 1);
  return true;
}

}  // namespace ferry::setup
