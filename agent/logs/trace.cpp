#include "logs/trace.h"

#include <string>

#include "core/line_format.h"
#include "core/settings_key.h"
#include "held_lock.h"
#include "library/agent_state.h"
#include "library/named_objects.h"
#include "library/wait_limits.h"
#include "logs/settings.h"
#include "unique_handle.h"

namespace ferry::agent {
namespace {

LocalTime localTimeNow() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return LocalTime{now.wYear,   now.wMonth,  now.wDay,         now.wHour,
                   now.wMinute, now.wSecond, now.wMilliseconds};
}

bool debugSettingOn(const ConnectionRecord* ci) {
  std::string instance = agentInstanceName(ci->installation.installationCode);
  DWORD debug = readAgentSetting("agent", instance.c_str(), "debug", 100);
  return debug != 0 && debug != 100;
}

void writeTraceLine(ConnectionRecord* ci, const char* format, va_list args) {
  if (!ci->traceOn) return;
  if (GetDestDir() != 0) {
    ci->traceOn = 0;
    return;
  }
  if (!debugSettingOn(ci)) {
    ci->traceOn = 0;
    return;
  }
  std::string path = std::string(agentDirectory()) + "\\ferryman.trc";
  UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, /*security=*/nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, /*template=*/nullptr));
  char message[kTraceMessageSize];
  formatMessageV(message, sizeof message, format, args);
  LocalTime now = localTimeNow();
  char line[kTraceLineSize];
  if (!file) {
    formatDebuggerLine(line, sizeof line, now, message);
    OutputDebugStringA(line);
    return;
  }
  size_t length = formatTraceLine(line, sizeof line, ci->installation.installationCode, now,
                                  GetCurrentThreadId(), message);
  SetFilePointer(file.get(), 0, nullptr, FILE_END);
  DWORD written = 0;
  // A failed or short write is not retried: the next line tries again on a fresh open.
  WriteFile(file.get(), line, static_cast<DWORD>(length), &written, nullptr);
}

// A line that cannot wait any longer for the trace mutex goes to the debugger output, as one
// whose file cannot be opened: the caller goes on, and the line is not lost without a trace.
void traceToDebugger(const char* format, va_list args) {
  char message[kTraceMessageSize];
  formatMessageV(message, sizeof message, format, args);
  char line[kTraceLineSize];
  formatDebuggerLine(line, sizeof line, localTimeNow(), message);
  OutputDebugStringA(line);
}

}  // namespace

HANDLE traceMutex() {
  // Unnamed, so no one can open it by name; with the agent's DACL all the same. It lives as long
  // as the process.
  static HANDLE mutex = createAgentMutex(/*name=*/nullptr).handle.release();
  return mutex;
}

void traceV(ConnectionRecord* ci, const char* format, va_list args) {
  if (ci == nullptr || !ci->traceOn) return;
  DWORD saved = GetLastError();
  HANDLE mutex = traceMutex();
  if (mutex != nullptr) {
    // An abandoned mutex (its holder's thread ended) is held all the same.
    if (HeldLock hold = HeldLock::wait(mutex, waitLimits().logMutexMs)) {
      writeTraceLine(ci, format, args);
    } else {
      traceToDebugger(format, args);
    }
  }
  SetLastError(saved);
}

void trace(ConnectionRecord* ci, const char* format, ...) {
  va_list args;
  va_start(args, format);
  traceV(ci, format, args);
  va_end(args);
}

void traceStartBanner(ConnectionRecord* ci, const char* entryPoint) {
  // Every entry point writes its banners: with tracing off they cost nothing.
  if (ci == nullptr || !ci->traceOn) return;
  char banner[512];
  formatBanner(banner, sizeof banner, entryPoint, Banner::kStart);
  trace(ci, "%s", banner);
}

void traceEndBanner(ConnectionRecord* ci, const char* entryPoint) {
  if (ci == nullptr || !ci->traceOn) return;
  char banner[512];
  formatBanner(banner, sizeof banner, entryPoint, Banner::kEnd);
  trace(ci, "%s", banner);
}

int GetDestDir() {
  trace(nullptr, "GetDestDir(): %s", agentDirectory());
  return 0;
}

}  // namespace ferry::agent
