// The restore flow behind DSABeginRestore / DSAWrite / DSAEndRestore: a data restore (a
// roll-forward run whose extractor holds each location while the agent fills it), and the
// journal and configuration/dump restores (the agent writes the files itself).
//
// Conventions:
// - Every function runs under the agent lock, on the thread of the entry point that calls it.
// - Results are the agent's codes (ferryman.h): 0; 1 a file could not be written; 2
//   connection id not in use; 5 no file name; 8 wrong object kind; 9 out of sequence (no restore
//   running); 12 template; 20 no usable extractor record; 22 a block where an object header is
//   due that is none; 23 a path outside the database's destinations; 300 the next location's
//   extractor did not connect; the roll-forward run's, catalog's or account's code; 10000 + e.
// - A restored file is open in ci->fd from its header to DSAEndRestore (or a write error),
//   written under a temporary name and put in place only when it ended whole.
// - A data restore that fails in any step is remembered (ci->restore.restoreFailed) and never
// finalised.
// - Files are only ever written inside the destinations resolved by the begin step.
#pragma once

#include <windows.h>

#include <cstdint>

#include "backup/backup_flow.h"
#include "connection/connection_record.h"

namespace ferry::agent {

// Restore option bits read by the flow (the roll-forward run reads its own, utility_command.h).
inline constexpr uint32_t kRestoreRemote = 0x4;
inline constexpr uint32_t kRestoreOverwriteJournals = 0x200;
inline constexpr uint32_t kRestoreKeepConfiguration = 0x2000;

// Begin steps, run by the first DSAWrite of the connection. `asOfTime` (seconds since 1970,
// UTC) may be null: no end time.
DWORD beginRestoreDB(int connectionId, const char* dbName, uint32_t options,
                     const char* checkpointId, const int64_t* asOfTime);
DWORD beginRestoreJN(int connectionId, const char* dbName, uint32_t options,
                     const char* checkpointId, int suffix);
DWORD beginRestoreConfig(int connectionId, const char* dbName, uint32_t options,
                         const char* checkpointId, int suffix);

// The extractor's request for the current location (data), or the configuration object.
int DSAGetRestoreObjectFile(int connectionId, char* objectName, DataFileInfo* info);
int getRestoreObjectName(ConnectionRecord* ci, char* objectName, DataFileInfo* info);

// One restored file: open (applying the overwrite rules; the data go to a temporary file beside
// the final name, `sizeKb` is the size its header gives), write, close. Closing with `keepIt`
// checks the size, flushes and moves the file over its final name: 0; 30 short; 10000 + e it
// could not be put in place (the temporary file is deleted and the original kept either way).
// Without `keepIt` the file is discarded. A failed write discards it too.
DWORD DSAOpenMatchedObjectFile(int connectionId, const char* fileName, uint32_t sizeKb);
DWORD DSACloseMatchedObjectFile(int connectionId, bool keepIt);
DWORD dsaWrite_cldsa(ConnectionRecord* ci, const void* buffer, uint32_t bytes);

// True when `path` may be restored: a file directly inside one of the destinations that the
// begin step resolved for the restore.
bool restorePathAllowed(ConnectionRecord* ci, const char* path);

// The location of the next file, `directory` ending with its backslash: on a change of
// directory during a data restore the current extractor is released and the next one awaited.
DWORD trackRestoreLocation(ConnectionRecord* ci, const char* directory);

// The end of a data restore when the connection closes. A restore that failed in any way (a
// write, a short file, a file the stream ended in, a session ended with a failure, an extractor
// that went away) is not finalised: no marker, the extractor aborted, the roll forward ended;
// 27. Otherwise the marker file goes into the directory of the last file restored, the waiting
// extractor is released and the roll forward waited for: 0, or 28 when it failed or did not end
// in time. 0 for a connection without a data restore.
DWORD endWholeRestore(ConnectionRecord* ci);

}  // namespace ferry::agent
