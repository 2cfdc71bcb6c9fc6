#include "remote_media.h"

#include <chrono>

#include "remote_stream.h"

namespace ferry::ctl {
namespace {

// The agent made the pipe before its begin call returned: it is there at once, or never. The
// agent pauses between messages at a change of location (its extractor's start) and gives up on
// a stalled client itself; the message wait only keeps the console from waiting forever.
constexpr media::PipeWaits kPipeWaits{/*openMs=*/30000, /*retryMs=*/20, /*messageMs=*/900000};
constexpr DWORD kMessageWaitMs = kPipeWaits.messageMs;
constexpr size_t kQueuedMessages = 8;

std::string errorText(const std::string& what, DWORD error) {
  return what + ": error " + std::to_string(error);
}

}  // namespace

RemoteMedia::RemoteMedia() : pipe_(kPipeWaits) {}

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

bool RemoteMedia::openPipe(const std::string& pipeName, media::Side side) {
  media::MediaPipe::Step step = media::MediaPipe::Step::kOpen;
  const DWORD error = pipe_.open(pipeName, side, stopEvent_.get(), &step);
  if (error == 0) return true;
  fail(step == media::MediaPipe::Step::kOpen
           ? errorText("cannot open the remote pipe " + pipeName, error)
           : errorText("cannot read the remote pipe by messages", error));
  return false;
}

void RemoteMedia::startReading(const std::string& pipeName) {
  stopEvent_.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  thread_ = std::thread(&RemoteMedia::readLoop, this, pipeName);
}

void RemoteMedia::readLoop(std::string pipeName) {
  if (!openPipe(pipeName, media::Side::kBackup)) return;
  std::vector<uint8_t> buffer(remote::kBackupMessageSize);
  for (;;) {
    DWORD got = 0;
    const DWORD error = pipe_.readMessage(buffer.data(), static_cast<DWORD>(buffer.size()), &got);
    if (media::isEndOfStream(error)) break;
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
  thread_ = std::thread(&RemoteMedia::writeLoop, this, pipeName);
}

void RemoteMedia::writeLoop(std::string pipeName) {
  if (!openPipe(pipeName, media::Side::kRestore)) return;
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
    if (DWORD error = pipe_.writeData(data); error != 0) {
      fail(errorText("cannot write the remote pipe", error));
      return;
    }
  }
  if (DWORD error = pipe_.endFile(); error != 0) {
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
  pipe_.close();
}

}  // namespace ferry::ctl
