// The media side's end of the agent's remote pipe: the client that opens the pipe the agent made
// for a remote backup or a remote restore session and moves the stream's messages, as a backup
// server's media side does. One implementation for the console (ferryctl --remote), the
// benchmark and the tests; the stream's shape (message sizes, the end marker, the empty message
// that ends a restored file) is remote_stream.h's.
//
// Conventions: results are 0 or the system error. Every wait has a bound (PipeWaits) and is cut
// short by the caller's stop event when one is given: ERROR_TIMEOUT when the bound ran out,
// ERROR_OPERATION_ABORTED when the stop came. The client end is overlapped and reads by
// messages. One thread uses a MediaPipe at a time; another may set its stop event. No
// exceptions.
#pragma once

#include <windows.h>

#include <cstdint>
#include <span>
#include <string>

#include "unique_handle.h"

namespace ferry::media {

// What the pipe says once the agent closed it: after the last file of a backup, or when a
// restore session ended.
inline bool isEndOfStream(DWORD error) {
  return error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED;
}

enum class Side {
  kBackup,   // reads the stream
  kRestore,  // writes it
};

struct PipeWaits {
  DWORD openMs;     // for the pipe to be there and free (the agent makes it before its begin
                    // call returns, so it is there at once, or never)
  DWORD retryMs;    // between two attempts to open it
  DWORD messageMs;  // for one message to come, or to be taken
};

class MediaPipe {
 public:
  enum class Step { kOpen, kMessageMode };

  explicit MediaPipe(const PipeWaits& waits) : waits_(waits) {}
  MediaPipe(const MediaPipe&) = delete;
  MediaPipe& operator=(const MediaPipe&) = delete;

  // Opens `name` as the client of `side`, trying again while the pipe is not there or busy,
  // and reads it by messages. `stopEvent`: null, or a manual-reset event of the caller's that
  // cuts this and every later wait short. 0, or the error of the step that failed (in
  // *failedStep): of the open, the last attempt's.
  DWORD open(const std::string& name, Side side, HANDLE stopEvent = nullptr,
             Step* failedStep = nullptr);
  bool isOpen() const { return pipe_.valid(); }
  // The client end, for a look at what the pipe is (its security).
  HANDLE handle() const { return pipe_.get(); }
  void close() { pipe_.reset(); }

  // Backup: the next message into `buffer`: 0 with its size in *got; isEndOfStream() once the
  // agent closed the pipe; ERROR_MORE_DATA for a message longer than `size`.
  DWORD readMessage(void* buffer, DWORD size, DWORD* got);
  // Restore: one message of `size` bytes; a write the pipe took only in part is
  // ERROR_WRITE_FAULT.
  DWORD writeMessage(const void* data, DWORD size);
  // Restore: `data` in messages of at most remote::kRestoreMessageSize bytes.
  DWORD writeData(std::span<const uint8_t> data);
  // Restore: the empty message that ends the session's file.
  DWORD endFile();

 private:
  // One overlapped read or write, bounded and cut short by the stop event.
  DWORD transfer(bool write, void* data, DWORD size, DWORD* done);
  // Pauses before the next attempt to open: true when the stop came instead.
  bool pauseOrStop() const;

  PipeWaits waits_;
  HANDLE stop_ = nullptr;
  UniqueFile pipe_;
  // Auto-reset, so that each wait takes its own operation's signal and no call resets it.
  UniqueHandleNull ioEvent_;
};

}  // namespace ferry::media
