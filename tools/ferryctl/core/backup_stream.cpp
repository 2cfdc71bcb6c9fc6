#include "core/backup_stream.h"

#include <algorithm>
#include <utility>

#include "object_header.h"

namespace ferry::ctl {
namespace {

constexpr uint32_t kEndOfFile = 9999;

std::string writeFailure(archive::WriteError error, const char* step) {
  return std::string("the archive writer failed at ") + step + ": " +
         std::string(archive::writeErrorName(error));
}

// One object's stream while it is read: the file it is in, and what became of the object. Each
// step takes one result of the read call; false when the object ends there (the outcome says
// how: a step that fails leaves the writer failed).
class ObjectStream {
 public:
  ObjectStream(std::span<uint8_t> buffer, archive::ArchiveWriter& writer,
               archive::DigestCalculator& digest, BackupObserver* observer)
      : buffer_(buffer), writer_(writer), digest_(digest), observer_(observer) {}

  bool inFile() const { return inFile_; }
  ObjectBackup take() { return std::move(result_); }

  bool agentFailed(uint32_t rc);
  bool fileBegins(uint32_t rc, uint32_t count);
  bool fileEnds(uint32_t count);
  bool dataArrives(uint32_t count);
  bool archiveFailed(archive::WriteError error, const char* step);
  bool streamFault(std::string message);

 private:
  std::span<uint8_t> buffer_;
  archive::ArchiveWriter& writer_;
  archive::DigestCalculator& digest_;
  BackupObserver* observer_;
  ObjectBackup result_;
  bool inFile_ = false;
  SavedFile file_;
};

bool ObjectStream::archiveFailed(archive::WriteError error, const char* step) {
  result_.outcome = ObjectBackup::Outcome::kArchiveError;
  result_.message = writeFailure(error, step);
  return false;
}

bool ObjectStream::streamFault(std::string message) {
  result_.outcome = ObjectBackup::Outcome::kStreamFault;
  result_.message = std::move(message);
  // Leaves the writer failed: an object that was not read to its end is never closed.
  (void)writer_.finish();
  return false;
}

bool ObjectStream::agentFailed(uint32_t rc) {
  result_.outcome = ObjectBackup::Outcome::kAgentError;
  result_.agentResult = rc;
  result_.message = inFile_ ? "while reading " + file_.path : "where a file header was due";
  (void)writer_.finish();
  return false;
}

// Between files: the next file's header.
bool ObjectStream::fileBegins(uint32_t rc, uint32_t count) {
  if (rc != 0) {
    return streamFault("end of file (9999) where a file header was due, after " +
                       std::to_string(result_.files.size()) + " files");
  }
  if (count != archive::kObjectHeaderSize) {
    return streamFault("a block of " + std::to_string(count) +
                       " bytes where a 1024-byte file header was due");
  }
  if (!ferry::header::hasMagic(buffer_.data())) {
    return streamFault("the block returned as a file header lacks the header magic");
  }
  archive::ObjectHeader header;
  std::copy_n(buffer_.begin(), archive::kObjectHeaderSize, header.begin());
  file_ = SavedFile{archive::objectHeaderPath(header), archive::objectHeaderSizeKb(header), 0, {}};
  if (archive::WriteError e = writer_.beginFile(header); e != archive::WriteError::kNone) {
    return archiveFailed(e, "a file record");
  }
  digest_.reset();
  inFile_ = true;
  if (observer_ != nullptr) observer_->onFileBegin(header);
  return true;
}

// The end of the file (9999): its digest, and a warning when its length is not its header's.
bool ObjectStream::fileEnds(uint32_t count) {
  if (count != 0) {
    return streamFault("end of file of " + file_.path + " with " + std::to_string(count) +
                       " bytes");
  }
  const uint64_t deliveredKb = file_.bytes / 1024;
  if (file_.sizeKb != deliveredKb && !(deliveredKb == 0 && file_.sizeKb == 1)) {
    result_.warnings.push_back(file_.path + ": header says " + std::to_string(file_.sizeKb) +
                               " KB, " + std::to_string(file_.bytes) + " bytes were delivered");
  }
  file_.digest = digest_.finish();
  if (archive::WriteError e = writer_.endFile(file_.digest); e != archive::WriteError::kNone) {
    return archiveFailed(e, "a file end record");
  }
  if (observer_ != nullptr) observer_->onFileEnd(file_.bytes);
  result_.bytes += file_.bytes;
  result_.files.push_back(std::move(file_));
  file_ = {};
  inFile_ = false;
  return true;
}

// Inside a file: `count` bytes of its data in the buffer.
bool ObjectStream::dataArrives(uint32_t count) {
  if (count == 0) {
    return streamFault("no bytes and no end of file while reading " + file_.path);
  }
  if (count > buffer_.size()) {
    return streamFault("the agent reported " + std::to_string(count) + " bytes in a buffer of " +
                       std::to_string(buffer_.size()));
  }
  std::span<const uint8_t> data(buffer_.data(), count);
  digest_.update(data);
  if (archive::WriteError e = writer_.appendData(data); e != archive::WriteError::kNone) {
    return archiveFailed(e, "a data record");
  }
  file_.bytes += count;
  if (observer_ != nullptr) observer_->onData(count);
  return true;
}

}  // namespace

ObjectBackup backupObjectStream(const ReadCall& read, std::span<uint8_t> buffer,
                                const archive::ObjectInfo& object, archive::ArchiveWriter& writer,
                                archive::DigestCalculator& digest, BackupObserver* observer) {
  ObjectStream stream(buffer, writer, digest, observer);
  if (buffer.size() < archive::kObjectHeaderSize || buffer.size() > UINT32_MAX) {
    stream.streamFault("the read buffer of " + std::to_string(buffer.size()) +
                       " bytes cannot hold an object header");
    return stream.take();
  }
  if (archive::WriteError e = writer.beginObject(object); e != archive::WriteError::kNone) {
    stream.archiveFailed(e, "the object record");
    return stream.take();
  }
  const uint32_t capacity = static_cast<uint32_t>(buffer.size());
  for (;;) {
    uint32_t count = capacity;
    const uint32_t rc = read(buffer.data(), &count);
    bool goesOn = false;
    if (rc != 0 && rc != kEndOfFile) {
      goesOn = stream.agentFailed(rc);
    } else if (!stream.inFile()) {
      if (rc == 0 && count == 0) break;  // the end of the object
      goesOn = stream.fileBegins(rc, count);
    } else if (rc == kEndOfFile) {
      goesOn = stream.fileEnds(count);
    } else {
      goesOn = stream.dataArrives(count);
    }
    if (!goesOn) return stream.take();
  }
  if (archive::WriteError e = writer.endObject(); e != archive::WriteError::kNone) {
    stream.archiveFailed(e, "the object end record");
  }
  return stream.take();
}

}  // namespace ferry::ctl
