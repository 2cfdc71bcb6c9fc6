#include "core/remote_backup_reader.h"

#include <cstring>

#include "ferryman.h"
#include "remote_stream.h"

namespace ferry::ctl {

uint32_t RemoteBackupReader::askAgent(uint8_t* buffer, uint32_t* count, bool insideFile,
                                      bool pipeFailed) {
  state_ = State::kEnded;
  uint32_t size = *count;
  const uint32_t result = agentRead_(buffer, &size);
  *count = 0;
  if (result != DSA_OK) return result;
  // The agent saw nothing wrong, but the console did: never taken for a whole object.
  if (pipeFailed) return DSA_ERROR_REMOTE_STREAM;
  // Between files this is the object's end; inside a file, 0 bytes without the file's end is a
  // break that the stream state machine reports.
  (void)insideFile;
  return DSA_OK;
}

uint32_t RemoteBackupReader::read(uint8_t* buffer, uint32_t* count) {
  switch (state_) {
    case State::kFirst: {
      const uint32_t result = agentRead_(buffer, count);
      if (result == DSA_OK) state_ = *count == 0 ? State::kEnded : State::kInFile;
      return result;
    }
    case State::kEnded:
      *count = 0;
      return DSA_OK;
    case State::kInFile:
    case State::kBetweenFiles:
      break;
  }
  const bool insideFile = state_ == State::kInFile;
  const MediaStatus status = next_(&message_);
  if (status != MediaStatus::kMessage) {
    return askAgent(buffer, count, insideFile, status == MediaStatus::kFailed);
  }
  if (insideFile && remote::isEndMarker(message_.data(), message_.size())) {
    state_ = State::kBetweenFiles;
    *count = 0;
    return DSA_END_OF_OBJECT;
  }
  if (message_.size() > *count) {
    state_ = State::kEnded;
    *count = 0;
    return DSA_ERROR_REMOTE_STREAM;
  }
  std::memcpy(buffer, message_.data(), message_.size());
  *count = static_cast<uint32_t>(message_.size());
  // Between files the message is the next header; the stream state machine checks its shape.
  state_ = State::kInFile;
  return DSA_OK;
}

}  // namespace ferry::ctl
