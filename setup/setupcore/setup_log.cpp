#include "setup_log.h"

#include <windows.h>

#include <cstdio>

#include "unique_handle.h"

namespace ferry::setup {

std::string CSetupLog::path() {
  char folder[MAX_PATH] = {};
  DWORD n = GetEnvironmentVariableA("DBAGUI_LOG_PATH", folder, sizeof folder);
  if (n == 0 || n >= sizeof folder) {
    n = GetTempPathA(sizeof folder, folder);
    if (n == 0 || n >= sizeof folder) return "";
  }
  std::string text(folder, n);
  if (text.back() != '\\') text += '\\';
  return text + "IngresDBASetup.log";
}

void CSetupLog::write(const std::string& line) {
  const std::string file = path();
  if (file.empty()) return;
  SYSTEMTIME now;
  GetLocalTime(&now);
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%02d/%02d/%04d %02d:%02d:%02d.%03d(%lu) ", now.wMonth,
                now.wDay, now.wYear, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds,
                GetCurrentProcessId());
  const std::string text = stamp + line + "\r\n";
  // FILE_APPEND_DATA alone: every write lands at the end, whichever process writes.
  UniqueFile log(CreateFileA(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             /*security=*/nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                             /*template=*/nullptr));
  if (!log) return;
  DWORD written = 0;
  // A log line is never worth failing a setup step: a short write is dropped.
  WriteFile(log.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace ferry::setup
