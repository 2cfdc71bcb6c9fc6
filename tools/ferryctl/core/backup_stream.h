// One object's backup stream, as DSARead delivers it, into the archive: the state machine that
// tells headers, data, the end of each file and the end of the object apart, checks that the
// agent kept to its side of the stream, and writes each file with its digest.
//
// The stream per object: for each file one call returns the 1024-byte object header (result 0,
// count 1024), then calls return data (0, count > 0), then one call returns 9999 with count 0;
// after the last file one call returns 0 with count 0. Any other result ends the object with the
// agent's code; any other shape (a header of another length, a header without the magic, data
// longer than the buffer, 0 bytes without an end) ends it as a stream fault, since a stream that
// does not keep to this shape cannot be replayed faithfully.
//
// Conventions: platform-free; no exceptions; the caller supplies the read call, the buffer (the
// agent reads files unbuffered into it, so the caller aligns it), the digest and the writer.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "core/archive_format.h"

namespace ferry::ctl {

// DSARead for the object being backed up: fills `buffer`, sets *count (given as the buffer's
// size) and returns the agent's result.
using ReadCall = std::function<uint32_t(uint8_t* buffer, uint32_t* count)>;

// Told of each step, for the progress display.
class BackupObserver {
 public:
  virtual ~BackupObserver() = default;
  virtual void onFileBegin(const archive::ObjectHeader&) {}
  virtual void onData(uint64_t /*bytes*/) {}
  virtual void onFileEnd(uint64_t /*fileBytes*/) {}
};

struct SavedFile {
  std::string path;     // from the header
  uint32_t sizeKb = 0;  // from the header
  uint64_t bytes = 0;   // delivered
  archive::Digest digest{};
};

struct ObjectBackup {
  enum class Outcome {
    kSaved,
    kAgentError,    // the agent returned `agentResult`
    kStreamFault,   // the stream broke its shape; `message` says how
    kArchiveError,  // the archive writer failed; `message` says how
  };
  Outcome outcome = Outcome::kSaved;
  uint32_t agentResult = 0;
  std::string message;
  std::vector<SavedFile> files;
  uint64_t bytes = 0;
  // Files whose delivered length does not match the size in their header (a file that grew or
  // shrank while it was read; the header gives a file below 1 KB as 0 or 1 KB): saved as
  // delivered, reported.
  std::vector<std::string> warnings;
};

// Reads the object's whole stream and writes it as one archive object (beginObject ...
// endObject). On any failure the writer is left failed, so that the archive can never be
// completed. The digest calculator is reset for each file.
ObjectBackup backupObjectStream(const ReadCall& read, std::span<uint8_t> buffer,
                                const archive::ObjectInfo& object, archive::ArchiveWriter& writer,
                                archive::DigestCalculator& digest,
                                BackupObserver* observer = nullptr);

}  // namespace ferry::ctl
