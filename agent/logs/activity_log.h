// The activity log "ferryman.log" in the agent directory, and the texts of ferryres.dll.
//
// Conventions:
// - Log_act writes one entry whose text is string `id` of ferryres.dll formatted with the
//   remaining printf-style arguments; `ci` may be null (the line is then tagged "--"). Returns 0
//   when written, 1 otherwise; callers ignore it.
// - The file is opened (write-through, shared for reading and writing) and closed for every
//   entry, so several processes append to the same file.
// - An entry whose mutex is not free within its wait limit is not written (1, and a trace line).
// - The caller's GetLastError() is kept.
#pragma once

#include <windows.h>

#include <cstdarg>

#include "connection/connection_record.h"

namespace ferry::agent {

int Log_act(ConnectionRecord* ci, int id, ...);
int Log_actV(ConnectionRecord* ci, int id, va_list args);

// The mutex that serialises the entries of every thread: created on first use and kept for the
// life of the process; null when it could not be created.
HANDLE activityMutex();

// String `id` of ferryres.dll into `buffer` (`size` bytes, NUL-terminated); returns its length,
// or 0 when the library is not loaded or has no such string (buffer then holds "").
int loadMessageText(unsigned id, char* buffer, int size);

}  // namespace ferry::agent
