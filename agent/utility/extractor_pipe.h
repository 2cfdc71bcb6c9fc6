// The agent's end of the extractor pipe during a data backup or restore: awaiting the extractor
// of a location, taking its records, releasing it and letting the pipe go. Backup, restore and
// disconnect all use these functions; none of them touches the pipe on its own.
//
// Conventions:
// - The pipe is the non-blocking server end that the checkpoint or roll-forward run created
//   (ci->run.pipeHandle); ci->run.pipeConnected is 1 while a client is connected.
// - Callers hold the agent lock.
// - Trace texts that are the calling routine's own are passed in; the functions add none of
//   their own on the normal path.
#pragma once

#include <windows.h>

#include "connection/connection_record.h"
#include "oidb_msg.h"

namespace ferry::agent {

// How long a record that the extractor has not written yet is waited for. The extractor writes
// its records one after the other without waiting for the agent, so a record that is late is
// one the extractor has not got to yet (a process start between locations, a slow listing), not
// one that will never come; only a broken pipe or this much silence ends the wait.
inline constexpr DWORD kRecordWaitMs = 20000;
// The longest a released extractor is given to take its release record and go before the pipe
// is disconnected under it. It goes within milliseconds; the wait ends as soon as it has, and a
// disconnect before it has read the record would discard the release and fail its location.
inline constexpr DWORD kExtractorReleaseMs = 10000;

// The trace lines of the first connect of a run; a null text is not traced.
struct FirstConnectTexts {
  const char* starting = nullptr;     // before the first attempt
  const char* firstResult = nullptr;  // after the first attempt: its result and 0 (two %d)
  const char* failed = nullptr;       // after each failed attempt, with the system error (%d)
  const char* waiting = nullptr;      // before each pause
  const char* pausing = nullptr;      // before each pause, after `waiting`
  const char* retrying = nullptr;     // before each later attempt, with its number (%d)
  const char* succeeded = nullptr;    // a later attempt connected
  const char* connectedEarlier[2] = {nullptr, nullptr};  // the client had connected already
};

// Connects the first location's extractor: up to ten attempts, two seconds apart, the last one
// also followed by its pause (20 s in all). True with pipeConnected 1 once a client is
// connected; false with the last attempt's system error in *error.
bool connectFirstExtractor(ConnectionRecord* ci, const FirstConnectTexts& texts, DWORD* error);

// True when the client connected to the pipe is the run's own extractor: siphon.exe of the agent
// directory, started (directly or through its template's commands) by the utility the agent
// started for the run. Another client is traced and written to the activity log; the caller
// disconnects it before anything of it is read. Every connect of the module passes through it.
bool admitClient(ConnectionRecord* ci);

// Reads one record, waiting for it as above. False when the pipe broke, the read failed or the
// time ran out; *error then holds the system error (ERROR_TIMEOUT for the time-out).
bool readExtractorRecord(ConnectionRecord* ci, OidbMsg* msg, DWORD* error);

// Writes a record of `type` with every other byte zero; a failure is traced with
// `failedFormat` (one %d, the system error) and otherwise ignored.
void sendExtractorRecord(ConnectionRecord* ci, int32_t type, const char* successText,
                         const char* failedFormat);

// Releases the extractor that holds the current location: its release record of `type`, then up
// to kExtractorReleaseMs for it to take it and go (its end of the pipe closes when it exits).
void releaseExtractor(ConnectionRecord* ci, int32_t type, const char* successText,
                      const char* failedFormat);

// The backup or restore of the current location failed: the extractor, if one is connected, gets
// the abort record, and the pipe is closed (traced under `routine`). The extractor then ends
// with a failure, and so does the utility's run: Ingres records no checkpoint and completes no
// roll forward from a location the agent did not take or fill whole.
void abortExtractor(ConnectionRecord* ci, const char* routine);

// True when the extractor that was connected has gone: its end of the pipe is closed.
bool extractorGone(ConnectionRecord* ci);

// Lets the pipe's client go (pipeConnected 0). With a `routine`, the outcome is traced under its
// name and a failure written as activity entry 92; without one a failure is only traced.
void disconnectExtractor(ConnectionRecord* ci, const char* routine);

// Waits up to `waitMs` until a client is connected to the pipe. The listen runs in blocking mode
// on a thread of its own: Wine wakes an extractor that already waits for the pipe
// (WaitNamedPipe) only for a blocking listen, never for the non-blocking one, and the next
// extractor may well start waiting before the agent listens again. On time-out the agent connects
// to its own pipe to end that listen and leaves the pipe listening, so that a late extractor still
// finds it. The pipe is back in non-blocking mode when this returns; pipeConnected is set to 1
// when a client is connected. With a `utility` process, the wait also ends (false) as soon as
// that utility has ended without an extractor coming: nothing will connect any more.
bool awaitExtractorClient(ConnectionRecord* ci, DWORD waitMs, HANDLE utility = nullptr);

// The end of the run's pipe: a connected client is let go (traced under `routine`, activity entry
// 92 on failure), then the server end is closed ("<routine>(): pipeHandle closed successfully").
void closeExtractorPipe(ConnectionRecord* ci, const char* routine);

}  // namespace ferry::agent
