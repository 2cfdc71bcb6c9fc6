// The console as a backup server's media side: a thread of its own opens the agent's remote
// pipe as a client (media_pipe.h) and takes the stream from it (backup) or gives it (restore),
// while the console's main thread makes the agent's calls; a queue of a few messages lies
// between the two.
//
// Conventions: every wait is bounded and can be cut short by stop(); a media side that failed
// says why in error().
#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "core/remote_backup_reader.h"
#include "media_pipe.h"
#include "unique_handle.h"

namespace ferry::ctl {

// The installation code of an instance name "user@CODE": the text after the first '@'.
std::string installationCodeOf(const std::string& instance);

class RemoteMedia {
 public:
  RemoteMedia();
  ~RemoteMedia() { stop(); }
  RemoteMedia(const RemoteMedia&) = delete;
  RemoteMedia& operator=(const RemoteMedia&) = delete;

  // Backup: the thread opens `pipeName` and reads its messages into a queue of a few.
  void startReading(const std::string& pipeName);
  // The next message, as RemoteBackupReader takes it.
  MediaStatus next(std::vector<uint8_t>* message);

  // Restore: the thread opens `pipeName` and writes what is given, in messages of at most
  // 32768 bytes, then the empty message that ends the file.
  void startWriting(const std::string& pipeName);
  // Queues a copy of `data`; false once the thread failed (what is given then is dropped).
  bool give(std::span<const uint8_t> data);
  // No more data: the end of the file is written once the queue is empty.
  void endOfFile();
  // Waits (bounded) for the thread to have written everything: "" or what went wrong.
  std::string finish();

  // Cuts the thread's waits short and joins it.
  void stop();
  std::string error() const;

 private:
  void readLoop(std::string pipeName);
  void writeLoop(std::string pipeName);
  bool openPipe(const std::string& pipeName, media::Side side);
  void fail(const std::string& why);

  UniqueHandleNull stopEvent_;
  media::MediaPipe pipe_;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::vector<uint8_t>> queue_;
  bool closed_ = false;  // reading: the pipe ended; writing: endOfFile() was called
  bool failed_ = false;
  bool done_ = false;      // writing: everything and the file's end were written
  bool stopping_ = false;  // stop() was called
  std::string error_;
};

}  // namespace ferry::ctl
