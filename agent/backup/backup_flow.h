// The backup flow behind DSABeginBackup / DSARead / DSAEndBackup: the data backup (a checkpoint
// run whose extractor hands over the file names of each location), the journal backup and the
// configuration and dump backup (the agent walks the directory itself). The exported calls
// (entry/) run these steps and the remote halves (remote/) on top of them.
//
// Conventions:
// - Every function runs under the agent lock, on the thread of the entry point that calls it.
// - Results are the agent's codes (ferryman.h): 0; 1 a file could not be opened or read; 2
//   connection id not in use; 9 out of sequence; 20 no further file; 24 the extractor stopped
//   sending records; 500 a header is due and the caller's count is below 1024; 9999 end of the
//   current file; 4095 (data reader only) the last location is done; a system error from acting
//   as the account; 10000 + e for other system errors.
// - The readers write into the caller's buffer only up to the count the caller gave.
// - A file is open in ci->fd between the header that announces it and the 9999 that ends it.
// - A failure other than "buffer too small" fails the object (ci->backup.objectFailed): later reads
//   return it, and the object cannot end whole.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "backup/object_stream.h"
#include "connection/connection_record.h"
#include "core/object_names.h"
#include "core/object_types.h"

namespace ferry::agent {

// DSABeginBackup's steps, once the entry point has checked the arguments and the name's
// database. refuseBackupBegin: 0 when an object of `form` may begin on the connection, else 9
// (one is begun already) or 21 (no known form). beginBackupObject runs the begin step of the
// form's kind (it cuts `objectName` at its '.' for data and configuration): 0 or its code.
DWORD refuseBackupBegin(ConnectionRecord* ci, const char* objectName, const ObjectName& form);
DWORD beginBackupObject(ConnectionRecord* ci, char* objectName, const ObjectName& form,
                        uint32_t options);

// Data backup.
DWORD beginBackupDB(int connectionId, const char* dbName, uint32_t options);
int getCkpdbID(ConnectionRecord* ci, char* text, size_t textSize);
int getObjectName(ConnectionRecord* ci, char* name, DataFileInfo* info);
int DSAGetBackupObjectFile(int connectionId, char* name, int backupId, DataFileInfo* info);
DWORD DSAReadDatabaseData(int connectionId, int backupId, void* buffer, uint32_t* count);

// Journal and configuration backups.
DWORD beginBackupJN(int connectionId, const char* dbName, uint32_t options);
DWORD beginBackupDBConfigDump(int connectionId, const char* dbName, uint32_t options);
int DSAGetJournalFile(int connectionId, char* name, int backupId, DataFileInfo* info);
int DSAGetConfigDumpFile(int connectionId, char* name, int backupId, DataFileInfo* info);
DWORD DSAReadJournal(int connectionId, int backupId, void* buffer, uint32_t* count);
DWORD DSAReadDatabaseConfigDump(int connectionId, int backupId, void* buffer, uint32_t* count);
// Deletes the journal files that a journal backup with option 0x10 delivered whole (ci's
// deliveredFiles), older than the current one; DSAEndBackup calls it only for an object read to
// its end without a failure and ended with status 0, before the work block goes.
void cleanUpJournals(ConnectionRecord* ci);

// What a DSARead's result means for the object: any failure but "buffer too small" and "out of
// sequence" fails it (backup.objectFailed), so that it cannot end whole.
void noteReadResult(ConnectionRecord* ci, DWORD result);

// DSAEndBackup's step once a remote writer has been stopped: the checkpoint run finished (or
// ended, for an object not delivered whole), the extractor pipe, the file and the searches let
// go, journals cleaned up after a whole backup ended with status 0, the connection idle again.
// 0; 26 the object was not delivered whole but ended with status 0; 1 the checkpoint failed.
DWORD endBackupObject(ConnectionRecord* ci, uint32_t endStatus);

// A backup that the server never ended, at disconnect. backupLeftOpen traces it and says whether
// there is one; endBackupAtDisconnect then does as DSAEndBackup would for an object cut short
// (the checkpoint run ended, the extractor released), and frees the work state. The disconnect
// step stops a remote writer between the two, and closes the pipe, the file and the searches.
bool backupLeftOpen(ConnectionRecord* ci);
void endBackupAtDisconnect(ConnectionRecord* ci);

// Shared by the readers.
// Zero-fills the caller's 1024-byte header and writes the magic, `checkpointText` (may be
// empty), the path, the size and the three times of the open file `file`.
void fillObjectHeader(void* buffer, const char* checkpointText, const char* path, uint32_t sizeKb,
                      HANDLE file);
}  // namespace ferry::agent
