#include "remote_media.h"

#include <algorithm>
#include <chrono>

#include "remote_stream.h"

namespace ferry::ctl {
namespace {

// The agent made the pipe before its begin call returned: it is there at once, or never.
constexpr DWORD kOpenWaitMs = 30000;
constexpr DWORD kOpenRetryMs = 20;
// The agent pauses between messages at a change of location (its extractor's start) and gives
// up on a stalled client itself; this only keeps the console from waiting forever.
constexpr DWORD kMessageWaitMs = 900000;
constexpr size_t kQueuedMessages = 8;

std::string errorText(const std::string& what, DWORD error) {
  return what + ": error " + std::to_string(error);
}

}  // namespace

std::string installationCodeOf(const std::string& instance) {
  const size_t at = instance.find('@');
  return at == std::string::npos ? std::string() : instance.substr(at + 1);
}

void RemoteMedia::fail(const std::string& why) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!failed_) error_ = why;
  failed_ = true;
  changed_.notify_all();
}

std::string RemoteMedia::error() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return error_;
}

bool RemoteMedia::openPipe(const std::string& pipeName, DWORD access) {
  const ULONGLONG deadline = GetTickCount64() + kOpenWaitMs;
  for (;;) {
    pipe_.reset(CreateFileA(pipeName.c_str(), access, 0, /*security=*/nullptr, OPEN_EXISTING,
                            FILE_FLAG_OVERLAPPED, /*template=*/nullptr));
    if (pipe_) break;
    const DWORD error = GetLastError();
    if ((error != ERROR_FILE_NOT_FOUND && error != ERROR_PIPE_BUSY) ||
        GetTickCount64() >= deadline ||
        WaitForSingleObject(stopEvent_.get(), kOpenRetryMs) == WAIT_OBJECT_0) {
      fail(errorText("cannot open the remote pipe " + pipeName, error));
      return false;
    }
  }
  DWORD mode = PIPE_READMODE_MESSAGE;
  if (!SetNamedPipeHandleState(pipe_.get(), &mode, nullptr, nullptr)) {
    fail(errorText("cannot read the remote pipe by messages", GetLastError()));
    return false;
  }
  return true;
}

DWORD RemoteMedia::pipeIo(bool write, void* data, DWORD size, DWORD* done) {
  OVERLAPPED overlapped{};
  overlapped.hEvent = ioEvent_.get();
  ResetEvent(ioEvent_.get());
  const BOOL started = write ? WriteFile(pipe_.get(), data, size, nullptr, &overlapped)
                             : ReadFile(pipe_.get(), data, size, nullptr, &overlapped);
  if (!started && GetLastError() != ERROR_IO_PENDING) return GetLastError();
  HANDLE waits[] = {ioEvent_.get(), stopEvent_.get()};
  const DWORD waited = WaitForMultipleObjects(2, waits, FALSE, kMessageWaitMs);
  if (waited != WAIT_OBJECT_0) CancelIoEx(pipe_.get(), &overlapped);
  const BOOL finished = GetOverlappedResult(pipe_.get(), &overlapped, done, /*wait=*/TRUE);
  if (waited == WAIT_TIMEOUT) return ERROR_TIMEOUT;
  if (waited != WAIT_OBJECT_0) return ERROR_OPERATION_ABORTED;
  return finished ? 0 : GetLastError();
}

void RemoteMedia::startReading(const std::string& pipeName) {
  stopEvent_.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  ioEvent_.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  thread_ = std::thread(&RemoteMedia::readLoop, this, pipeName);
}

void RemoteMedia::readLoop(std::string pipeName) {
  if (!openPipe(pipeName, GENERIC_READ | FILE_WRITE_ATTRIBUTES)) return;
  std::vector<uint8_t> buffer(remote::kBackupMessageSize);
  for (;;) {
    DWORD got = 0;
    const DWORD error =
        pipeIo(/*write=*/false, buffer.data(), static_cast<DWORD>(buffer.size()), &got);
    if (error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED) break;  // the end
    if (error != 0) {
      // ERROR_MORE_DATA: a message longer than the stream allows.
      fail(errorText("cannot read the remote pipe", error));
      return;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_for(lock, std::chrono::milliseconds(kMessageWaitMs), [&] {
          return queue_.size() < kQueuedMessages || failed_ || stopping_;
        })) {
      lock.unlock();
      fail("the console stopped taking the remote stream");
      return;
    }
    if (failed_ || stopping_) return;
    queue_.emplace_back(buffer.begin(), buffer.begin() + got);
    changed_.notify_all();
  }
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
  changed_.notify_all();
}

MediaStatus RemoteMedia::next(std::vector<uint8_t>* message) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!changed_.wait_for(lock, std::chrono::milliseconds(kMessageWaitMs),
                         [&] { return !queue_.empty() || closed_ || failed_; })) {
    failed_ = true;
    error_ = "no message on the remote pipe for " + std::to_string(kMessageWaitMs / 1000) + " s";
    return MediaStatus::kFailed;
  }
  if (!queue_.empty()) {
    *message = std::move(queue_.front());
    queue_.pop_front();
    changed_.notify_all();
    return MediaStatus::kMessage;
  }
  return failed_ ? MediaStatus::kFailed : MediaStatus::kClosed;
}

void RemoteMedia::startWriting(const std::string& pipeName) {
  stopEvent_.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  ioEvent_.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  thread_ = std::thread(&RemoteMedia::writeLoop, this, pipeName);
}

void RemoteMedia::writeLoop(std::string pipeName) {
  if (!openPipe(pipeName, GENERIC_WRITE | FILE_READ_ATTRIBUTES)) return;
  for (;;) {
    std::vector<uint8_t> data;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (!changed_.wait_for(lock, std::chrono::milliseconds(kMessageWaitMs),
                             [&] { return !queue_.empty() || closed_ || failed_ || stopping_; })) {
        lock.unlock();
        fail("the console gave no data for the remote pipe");
        return;
      }
      if (failed_ || stopping_) return;
      if (queue_.empty()) break;  // endOfFile(), and everything written
      data = std::move(queue_.front());
      queue_.pop_front();
      changed_.notify_all();
    }
    for (size_t at = 0; at < data.size(); at += remote::kRestoreMessageSize) {
      const DWORD size =
          static_cast<DWORD>(std::min(remote::kRestoreMessageSize, data.size() - at));
      DWORD done = 0;
      if (DWORD error = pipeIo(/*write=*/true, data.data() + at, size, &done);
          error != 0 || done != size) {
        fail(errorText("cannot write the remote pipe", error != 0 ? error : ERROR_WRITE_FAULT));
        return;
      }
    }
  }
  uint8_t none = 0;
  DWORD done = 0;
  if (DWORD error = pipeIo(/*write=*/true, &none, 0, &done); error != 0) {
    fail(errorText("cannot write the end of the file on the remote pipe", error));
    return;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  done_ = true;
  changed_.notify_all();
}

bool RemoteMedia::give(std::span<const uint8_t> data) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!changed_.wait_for(lock, std::chrono::milliseconds(kMessageWaitMs),
                         [&] { return queue_.size() < kQueuedMessages || failed_ || stopping_; }) ||
      failed_ || stopping_) {
    return false;
  }
  queue_.emplace_back(data.begin(), data.end());
  changed_.notify_all();
  return true;
}

void RemoteMedia::endOfFile() {
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
  changed_.notify_all();
}

std::string RemoteMedia::finish() {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(kMessageWaitMs),
                      [&] { return done_ || failed_; });
    if (!done_ && !failed_) {
      failed_ = true;
      error_ = "the remote pipe did not take the file's data";
    }
  }
  stop();
  return error();
}

void RemoteMedia::stop() {
  if (stopEvent_) SetEvent(stopEvent_.get());
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    changed_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
  pipe_.reset();
}

}  // namespace ferry::ctl
