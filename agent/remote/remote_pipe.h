// The remote pipe: the second pipe of a backup or restore begun with option bit 0x4, whose client
// is the backup server's media side. A thread of the agent streams the object's data through it
// (remote_backup.cpp, remote_restore.cpp); the exported calls only start it and hand over.
//
// Conventions:
// - One remote pipe per connection at a time, in ci->remote.rhPipe, named by remote::pipeName. It
// is
//   opened overlapped, so that every wait on it has a bound and can be cut short: by
//   ci->remote.remoteStop (the connection's remote threads end) or ci->remote.remotePipeClosing
//   (this pipe is being closed). A wait cut short fails what it waited for.
// - The connect thread (RemotePipeConnect) waits for the client; ci->remote.remoteConnected is set
// once
//   that wait is over, with ci->remote.remoteConnectResult saying how it ended.
// - The threads touch the record only under the agent lock, except the pipe's I/O and the
//   record's events and atomics. The calls that stop a thread wait for it with the agent lock
//   given up (waitWithoutAgentLock), since the thread may need it to finish.
// - Results are the agent's codes: 0; 33 DSA_ERROR_REMOTE_STREAM (the pipe broke, its client
//   stalled beyond the limit, or the wait was cut short); 34 DSA_ERROR_REMOTE_CLIENT_ABSENT.
#pragma once

#include <windows.h>

#include "connection/connection_record.h"

namespace ferry::agent {

// The connection's remote pipe for its current backup (large buffers, 65536 bytes) or restore
// session (32768), with the connect thread started. 0; 1 the pipe's security could not be
// allocated; 2 no connection; 68 its DACL could not be built; 77 the pipe or its connect thread
// could not be made.
DWORD CreateRemotePipe(int connectID, bool largeBuffers);

// Waits for the current pipe's connect wait to end: 0 when a client is connected, else its code.
DWORD awaitRemoteClient(ConnectionRecord* ci);

// One message to or from the client, through the event `io` of the calling thread. *got
// receives the bytes read (0 for the client's empty message).
DWORD writeRemoteMessage(ConnectionRecord* ci, HANDLE io, const void* data, DWORD size);
DWORD readRemoteMessage(ConnectionRecord* ci, HANDLE io, void* buffer, DWORD size, DWORD* got);

// The connection's stop event, made once per connection (reset when no remote thread runs).
bool prepareRemoteEvents(ConnectionRecord* ci);

// Starts `routine` with the connection id as its parameter into `thread`. On failure traces
// `failedFormat` (one %d) and writes activity entry 94 with `name`.
bool startRemoteThread(ConnectionRecord* ci, LPTHREAD_START_ROUTINE routine, RecordHandle* thread,
                       const char* name, const char* failedFormat);

// Waits (the agent lock given up) up to the thread-end limit for `thread` to end, then closes
// it; a thread that did not end is terminated as the last resort (traced under `routine`,
// activity entry 93 with `name` when even that fails). Nothing when no thread is held.
void joinRemoteThread(ConnectionRecord* ci, RecordHandle* thread, const char* routine,
                      const char* name);

// Closes the current remote pipe: its connect wait cut short and the connect thread joined,
// then the handle closed (not disconnected: the client still reads what the pipe holds).
// Under the agent lock. Nothing when there is no pipe.
void closeRemotePipe(ConnectionRecord* ci, const char* routine);

}  // namespace ferry::agent
