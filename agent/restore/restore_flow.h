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

#include "connection/connection_record.h"
#include "core/object_names.h"
#include "core/object_types.h"
#include "ferryman.h"
#include "restore/file_stream.h"

namespace ferry::agent {

// Restore option bits read by the flow (the roll-forward run reads its own, utility_command.h).
inline constexpr uint32_t kRestoreRemote = 0x4;
inline constexpr uint32_t kRestoreOverwriteJournals = 0x200;
inline constexpr uint32_t kRestoreKeepConfiguration = 0x2000;

// The session steps of the exported calls, once the entry point has the record.
// admitRestoreObject: 0 when `objectName` may be restored on the connection (`name` then holds
// its classification), else 21 (its database name breaks Ingres' rules) or 8 (the connection
// restores another kind or database). openRestoreEvent: the session's restore event
// "RestoreEvent<code>", with the agent's DACL; 0, or 15 (traced and logged with its name) when
// an event of that name belongs to another account. openRestoreSession: the session's options
// and kind, after the entry point has counted it and made a remote pipe where asked.
DWORD admitRestoreObject(ConnectionRecord* ci, const char* objectName, ObjectName* name);
DWORD openRestoreEvent(ConnectionRecord* ci);
void openRestoreSession(ConnectionRecord* ci, const ObjectName& name, uint32_t restoreOption);
// One DSAWrite block: the begin step at the first, then the open file's data or the next header.
// Returns the call's result, its end banner traced, except when a remote session's header has
// opened its file: *handOverDue is then true, 0 is returned, and the entry point hands the file
// to the remote reader and ends the call with endRestoreWrite.
DSA_RESULT writeRestoreBlock(ConnectionRecord* ci, int connectionId, const void* buffer,
                             uint32_t bytes, bool* handOverDue);
// The end of DSAWrite with `result`: a failure once a data restore has begun fails the restore.
DSA_RESULT endRestoreWrite(ConnectionRecord* ci, DSA_RESULT result);
// DSAEndRestore once a remote session's stream has ended (`streamWhole`, `streamResult`; true
// and 0 for a local session): the file put in place or discarded, the session closed. 0 or the
// code the file failed with.
DSA_RESULT endRestoreSession(ConnectionRecord* ci, int connectionId, uint32_t endStatus,
                             bool streamWhole, DWORD streamResult);

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
// Opening gives 16 when the temporary name is a link or its file has a second name (nothing is
// written through it).
// Without `keepIt` the file is discarded. A failed write discards it too.
DWORD DSAOpenMatchedObjectFile(int connectionId, const char* fileName, uint32_t sizeKb);
DWORD DSACloseMatchedObjectFile(int connectionId, bool keepIt);

// True when `path` may be restored: a file directly inside one of the destinations that the
// begin step resolved for the restore.
bool restorePathAllowed(const DestinationState& destinations, const char* path);

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
