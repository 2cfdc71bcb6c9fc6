// The agent's end of the extractor pipe during a data backup or restore: awaiting the extractor
// of a location, taking its records and releasing it.
//
// Conventions:
// - The pipe is the non-blocking server end that the checkpoint run created (ci->pipeHandle).
// - Callers hold the agent lock.
#pragma once

#include <windows.h>

#include "connection_record.h"
#include "oidb_msg.h"

namespace ferry::agent {

// How long a record that the extractor has not written yet is waited for. The extractor writes
// its records one after the other without waiting for the agent, so a record that is late is
// one the extractor has not got to yet (a process start between locations, a slow listing), not
// one that will never come; only a broken pipe or this much silence ends the wait.
inline constexpr DWORD kRecordWaitMs = 20000;

// Reads one record, waiting for it as above. False when the pipe broke, the read failed or the
// time ran out; *error then holds the system error (ERROR_TIMEOUT for the time-out).
bool readExtractorRecord(ConnectionRecord* ci, OidbMsg* msg, DWORD* error);

// Gives the released extractor of a location up to `limitMs` to take its release record and go
// (its end of the pipe closes when it exits); returns as soon as it has gone.
void waitForExtractorToGo(ConnectionRecord* ci, DWORD limitMs);

// Waits up to `waitMs` until a client is connected to the pipe. The listen runs in blocking mode
// on a thread of its own: Wine wakes an extractor that already waits for the pipe
// (WaitNamedPipe) only for a blocking listen, never for the non-blocking one, and the next
// extractor may well start waiting before the agent listens again. On time-out the agent connects
// to its own pipe to end that listen and leaves the pipe listening, so that a late extractor still
// finds it. The pipe is back in non-blocking mode when this returns.
bool awaitExtractorClient(ConnectionRecord* ci, DWORD waitMs);

// Lets the client of the pipe go and waits up to kRecordWaitMs for the extractor of the next
// location to open it. True (and pipeConnected 1) when a client is connected.
bool reconnectExtractor(ConnectionRecord* ci);

// Writes a record of `type` with every other byte zero; a failure is traced with
// `failedFormat` (one %d, the system error) and otherwise ignored.
void sendExtractorRecord(ConnectionRecord* ci, int32_t type, const char* successText,
                         const char* failedFormat);

}  // namespace ferry::agent
