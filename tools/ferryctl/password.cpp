#include "password.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/password_source.h"
#include "unique_handle.h"

namespace ferry::ctl {
namespace {

// Nobody types or stores a longer password; a longer file is not a password file.
constexpr DWORD kPasswordFileLimit = 64 * 1024;

bool fromFile(const std::string& path, std::string* password, std::string* error) {
  UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, /*security=*/nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, /*template=*/nullptr));
  LARGE_INTEGER size{};
  if (!file || !GetFileSizeEx(file.get(), &size)) {
    *error = "the password file " + path + " cannot be read: system error " +
             std::to_string(GetLastError());
    return false;
  }
  if (size.QuadPart > kPasswordFileLimit) {
    *error = "the password file " + path + " is larger than " + std::to_string(kPasswordFileLimit) +
             " bytes";
    return false;
  }
  std::string text(static_cast<size_t>(size.QuadPart), '\0');
  DWORD read = 0;
  if (!text.empty() && !ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &read,
                                 /*overlapped=*/nullptr)) {
    *error = "the password file " + path + " cannot be read: system error " +
             std::to_string(GetLastError());
    return false;
  }
  text.resize(read);
  *password = passwordFromText(text);
  SecureZeroMemory(text.data(), text.size());
  return true;
}

bool fromEnvironment(std::string* password) {
  char value[1024];
  SetLastError(0);
  DWORD length = GetEnvironmentVariableA(kPasswordVariable, value, sizeof value);
  if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
  if (length >= sizeof value) return false;  // longer than any password: not one
  password->assign(value, length);
  SecureZeroMemory(value, sizeof value);
  SetEnvironmentVariableA(kPasswordVariable, nullptr);
  _putenv((std::string(kPasswordVariable) + "=").c_str());
  return true;
}

// A line typed at the console with the echo off, or one line of standard input when that is
// no console (a pipe or a file the caller prepared).
bool fromPrompt(const std::string& account, std::string* password) {
  char line[1024] = {};
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  bool got = false;
  if (input != nullptr && input != INVALID_HANDLE_VALUE && GetConsoleMode(input, &mode)) {
    std::fprintf(stderr, "Password for %s: ", account.c_str());
    std::fflush(stderr);
    SetConsoleMode(input, (mode | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT) & ~ENABLE_ECHO_INPUT);
    DWORD read = 0;
    got = ReadConsoleA(input, line, sizeof line - 1, &read, /*control=*/nullptr) && read > 0;
    SetConsoleMode(input, mode);
    std::fputc('\n', stderr);
    line[got ? read : 0] = '\0';
  } else {
    got = std::fgets(line, sizeof line, stdin) != nullptr;
  }
  if (got) *password = passwordFromText(line);
  SecureZeroMemory(line, sizeof line);
  return got;
}

}  // namespace

bool obtainPassword(const Command& command, std::string* password, std::string* error) {
  if (!command.passwordFile.empty()) return fromFile(command.passwordFile, password, error);
  if (fromEnvironment(password)) return true;
  if (fromPrompt(command.connect.account, password)) return true;
  *error = std::string("no password: name a file with --password-file, set ") + kPasswordVariable +
           " or type it at the prompt";
  return false;
}

}  // namespace ferry::ctl
