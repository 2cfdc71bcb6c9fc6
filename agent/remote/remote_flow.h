// The remote halves of the backup and restore flows: what the exported calls do for an object
// or session begun with option bit 0x4, and the threads that stream its data through the remote
// pipe (remote_pipe.h).
//
// Conventions:
// - The functions run under the agent lock, on the thread of the entry point that calls them.
// - The data rules are the local flows' own: the writer delivers through the same readers, the
//   reader writes through the same restore file steps, and whatever fails on the remote pipe
//   fails the object (backup: ci->backup.objectFailed, so no checkpoint is completed) or the file
//   and the data restore (restore: the file is discarded, ci->restore.restoreFailed, nothing
//   finalised).
#pragma once

#include <windows.h>

#include <cstdint>

#include "connection/connection_record.h"

namespace ferry::agent {

// DSARead of a remote backup: the first call returns the first file's header (or the empty end
// of an object without files) and starts the writer; later calls return 0 without data while
// the writer runs, and then its outcome.
DWORD readRemoteBackup(ConnectionRecord* ci, int connectionId, int backupId, void* buffer,
                       uint32_t* count);

// The end of a remote backup: a writer that still streams is stopped (the object is then not
// complete), the writer joined and the pipe closed.
void endRemoteBackup(ConnectionRecord* ci, const char* routine);

// DSAWrite of a remote restore, once the header of the session's file opened it: the reader is
// started (first time) and handed the file. 0, or the code the file failed with.
DWORD handOverRemoteFile(ConnectionRecord* ci);

// DSAEndRestore of a remote session: waits for the reader to finish the file (bounded), then the
// session's pipe is closed. 0, or the code the file failed with (33 when the stream broke off or
// did not end in time); *keep is false when the file must be discarded.
DWORD endRemoteSession(ConnectionRecord* ci, bool* keep);

// The connection goes: every remote thread stopped and joined, the pipe closed.
void endRemoteThreads(ConnectionRecord* ci, const char* routine);

}  // namespace ferry::agent
