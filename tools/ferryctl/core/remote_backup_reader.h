// A remote backup seen as a local one: the messages of the agent's remote pipe turned into the
// results DSARead gives a local backup, so that the same state machine (backupObjectStream)
// checks and archives both.
//
// The first call is the agent's DSARead, which returns the first header. After it: a data
// message is data, the end marker ends the file (9999), a message after the marker is the next
// file's header, and the pipe's end between files is the object's end, as the agent then
// confirms: the console asks DSARead once more, which returns the writer's failure, if any. A
// pipe that ends inside a file, or breaks, is asked about the same way; a message that does not
// fit the caller's buffer is a break of the stream.
//
// Conventions: platform-free; no exceptions; the message source blocks until the next message.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "core/backup_stream.h"

namespace ferry::ctl {

enum class MediaStatus {
  kMessage,  // *message holds the next message (possibly empty)
  kClosed,   // the agent closed the pipe: no message will come
  kFailed,   // the pipe could not be opened or read
};
using NextMessage = std::function<MediaStatus(std::vector<uint8_t>* message)>;

class RemoteBackupReader {
 public:
  RemoteBackupReader(ReadCall agentRead, NextMessage next)
      : agentRead_(std::move(agentRead)), next_(std::move(next)) {}

  // As DSARead: fills `buffer`, sets *count (given as the buffer's size), returns the result.
  uint32_t read(uint8_t* buffer, uint32_t* count);

 private:
  enum class State { kFirst, kInFile, kBetweenFiles, kEnded };
  // The pipe ended: the agent's word on how the object went.
  uint32_t askAgent(uint8_t* buffer, uint32_t* count, bool insideFile, bool pipeFailed);

  ReadCall agentRead_;
  NextMessage next_;
  State state_ = State::kFirst;
  std::vector<uint8_t> message_;
};

}  // namespace ferry::ctl
