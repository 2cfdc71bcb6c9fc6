#include "media_pipe.h"

#include <algorithm>

#include "remote_stream.h"

namespace ferry::media {

bool MediaPipe::pauseOrStop() const {
  if (stop_ == nullptr) {
    Sleep(waits_.retryMs);
    return false;
  }
  return WaitForSingleObject(stop_, waits_.retryMs) == WAIT_OBJECT_0;
}

DWORD MediaPipe::open(const std::string& name, Side side, HANDLE stopEvent, Step* failedStep) {
  Step step = Step::kOpen;
  if (failedStep == nullptr) failedStep = &step;
  *failedStep = Step::kOpen;
  pipe_.reset();
  stop_ = stopEvent;
  if (!ioEvent_) {
    ioEvent_.reset(CreateEventA(/*security=*/nullptr, /*manualReset=*/FALSE,
                                /*initialState=*/FALSE, /*name=*/nullptr));
    if (!ioEvent_) return GetLastError();
  }
  // The attributes right, to set the read mode of the client end.
  const DWORD access = side == Side::kBackup ? GENERIC_READ | FILE_WRITE_ATTRIBUTES
                                             : GENERIC_WRITE | FILE_READ_ATTRIBUTES;
  const ULONGLONG deadline = GetTickCount64() + waits_.openMs;
  for (;;) {
    // Identification only: a server squatting the agent's pipe name cannot act as the media
    // side's account.
    pipe_.reset(CreateFileA(name.c_str(), access, /*share=*/0, /*security=*/nullptr, OPEN_EXISTING,
                            FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                            /*template=*/nullptr));
    if (pipe_) break;
    const DWORD error = GetLastError();
    if ((error != ERROR_FILE_NOT_FOUND && error != ERROR_PIPE_BUSY) ||
        GetTickCount64() >= deadline || pauseOrStop()) {
      return error;
    }
  }
  DWORD mode = PIPE_READMODE_MESSAGE;
  if (!SetNamedPipeHandleState(pipe_.get(), &mode, /*maxCount=*/nullptr, /*timeout=*/nullptr)) {
    *failedStep = Step::kMessageMode;
    const DWORD error = GetLastError();
    pipe_.reset();
    return error;
  }
  return 0;
}

DWORD MediaPipe::transfer(bool write, void* data, DWORD size, DWORD* done) {
  *done = 0;
  OVERLAPPED overlapped{};
  overlapped.hEvent = ioEvent_.get();
  const BOOL started = write ? WriteFile(pipe_.get(), data, size, nullptr, &overlapped)
                             : ReadFile(pipe_.get(), data, size, nullptr, &overlapped);
  if (!started) {
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) {
      // A read that completed at once with ERROR_MORE_DATA has set the event all the same.
      ResetEvent(ioEvent_.get());
      return error;
    }
  }
  // The event is set whether the operation completed at once or later: one wait either way.
  HANDLE waits[] = {ioEvent_.get(), stop_};
  const DWORD waited = stop_ != nullptr
                           ? WaitForMultipleObjects(2, waits, /*waitAll=*/FALSE, waits_.messageMs)
                           : WaitForSingleObject(ioEvent_.get(), waits_.messageMs);
  if (waited != WAIT_OBJECT_0) {
    // The operation ends before its OVERLAPPED goes; an operation that completed in between
    // leaves the event set, which must not pass for the next one's.
    CancelIoEx(pipe_.get(), &overlapped);
    GetOverlappedResult(pipe_.get(), &overlapped, done, /*wait=*/TRUE);
    ResetEvent(ioEvent_.get());
    return waited == WAIT_TIMEOUT ? ERROR_TIMEOUT : ERROR_OPERATION_ABORTED;
  }
  return GetOverlappedResult(pipe_.get(), &overlapped, done, /*wait=*/FALSE) ? 0 : GetLastError();
}

DWORD MediaPipe::readMessage(void* buffer, DWORD size, DWORD* got) {
  return transfer(/*write=*/false, buffer, size, got);
}

DWORD MediaPipe::writeMessage(const void* data, DWORD size) {
  DWORD done = 0;
  // WriteFile does not change what it writes.
  const DWORD error = transfer(/*write=*/true, const_cast<void*>(data), size, &done);
  if (error != 0) return error;
  return done == size ? 0 : ERROR_WRITE_FAULT;
}

DWORD MediaPipe::writeData(std::span<const uint8_t> data) {
  for (size_t at = 0; at < data.size(); at += remote::kRestoreMessageSize) {
    const DWORD size = static_cast<DWORD>(std::min(remote::kRestoreMessageSize, data.size() - at));
    if (DWORD error = writeMessage(data.data() + at, size); error != 0) return error;
  }
  return 0;
}

DWORD MediaPipe::endFile() {
  static const uint8_t kNone = 0;  // a valid address for the write of nothing
  return writeMessage(&kNone, 0);
}

}  // namespace ferry::media
