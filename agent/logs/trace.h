// The trace log "ferryman.trc" in the agent directory: one line per call, for connections whose
// "debug" setting is on.
//
// Conventions:
// - printf-style; callers use no result. A message is cut at 2047 characters.
// - Nothing is written without a connection, or once the connection's traceOn is 0. The
//   "debug" setting (<root>\DSAgent\CurrentVersion\agent\ferryman@<code>) is read for every
//   line; 0, 100 or missing turns tracing off for the connection until it is connected anew.
// - The file is opened and closed for every line, shared for reading and writing, so it can be
//   removed while the agent runs and several processes append to it.
// - When the file cannot be opened, or the trace mutex is not free within its wait limit, the
//   line goes to the debugger output instead.
// - The caller's GetLastError() is kept, so a routine can trace a failure and then report it.
#pragma once

#include <windows.h>

#include <cstdarg>

#include "connection/connection_record.h"

namespace ferry::agent {

void trace(ConnectionRecord* ci, const char* format, ...) __attribute__((format(printf, 2, 3)));
void traceV(ConnectionRecord* ci, const char* format, va_list args);

// The mutex that serialises the lines of every thread: created on first use and kept for the
// life of the process; null when it could not be created.
HANDLE traceMutex();

// "*************** <entry>(): Starts Here ***************" and the matching end banner.
void traceStartBanner(ConnectionRecord* ci, const char* entryPoint);
void traceEndBanner(ConnectionRecord* ci, const char* entryPoint);

// Traces the agent directory (without a connection, so the line is never written) and returns
// 0: the agent directory is known from the load step on.
int GetDestDir();

}  // namespace ferry::agent
