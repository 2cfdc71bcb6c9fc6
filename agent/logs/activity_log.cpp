#include "logs/activity_log.h"

#include <string>

#include "core/line_format.h"
#include "held_lock.h"
#include "library/agent_state.h"
#include "library/named_objects.h"
#include "library/wait_limits.h"
#include "logs/trace.h"
#include "unique_handle.h"

namespace ferry::agent {
namespace {

int writeEntry(ConnectionRecord* ci, int id, va_list args) {
  char textTemplate[kActivityTemplateSize];
  if (loadMessageText(static_cast<unsigned>(id), textTemplate, sizeof textTemplate) == 0) {
    trace(ci, "Log_act():Error in LoadString(): id=%d, GetLastError()=%d", id,
          static_cast<int>(GetLastError()));
    return 1;
  }
  char text[kActivityTextSize];
  formatMessageV(text, sizeof text, textTemplate, args);
  SYSTEMTIME now;
  GetLocalTime(&now);
  LocalTime time{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, 0};
  char line[kActivityLineSize];
  size_t length = formatActivityLine(line, sizeof line, time,
                                     ci ? ci->installation.installationCode : nullptr, text);

  if (GetDestDir() != 0) return 1;
  std::string path = std::string(agentDirectory()) + "\\ferryman.log";
  UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, /*security=*/nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH,
                              /*template=*/nullptr));
  if (!file) return 1;
  SetFilePointer(file.get(), 0, nullptr, FILE_END);
  DWORD written = 0;
  // A failed or short write is not retried; the entry counts as written like a full one.
  WriteFile(file.get(), line, static_cast<DWORD>(length), &written, nullptr);
  return 0;
}

}  // namespace

HANDLE activityMutex() {
  // Unnamed, so no one can open it by name; with the agent's DACL all the same. It lives as long
  // as the process.
  static HANDLE mutex = createAgentMutex(/*name=*/nullptr).handle.release();
  return mutex;
}

int loadMessageText(unsigned id, char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return 0;
  buffer[0] = '\0';
  HMODULE library = messageLibrary();
  // Without the library a null module would make LoadString read the host program's table.
  if (library == nullptr) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  int length = LoadStringA(library, id, buffer, size);
  if (length <= 0) {
    buffer[0] = '\0';
    return 0;
  }
  return length;
}

int Log_actV(ConnectionRecord* ci, int id, va_list args) {
  DWORD saved = GetLastError();
  HANDLE mutex = activityMutex();
  int result = 1;
  if (mutex != nullptr) {
    // An abandoned mutex (its holder's thread ended) is held all the same.
    const DWORD limit = waitLimits().logMutexMs;
    if (HeldLock hold = HeldLock::wait(mutex, limit)) {
      result = writeEntry(ci, id, args);
    } else {
      // The entry is given up; the trace mutex is another one and may well be free.
      trace(ci, "Log_act(): the activity log was not free within %lu ms; entry %d not written",
            limit, id);
    }
  }
  SetLastError(saved);
  return result;
}

int Log_act(ConnectionRecord* ci, int id, ...) {
  va_list args;
  va_start(args, id);
  int result = Log_actV(ci, id, args);
  va_end(args);
  return result;
}

}  // namespace ferry::agent
