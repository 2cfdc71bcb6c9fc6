#include "core/backup_stream.h"

#include <algorithm>

#include "object_header.h"

namespace ferry::ctl {
namespace {

constexpr uint32_t kEndOfFile = 9999;

std::string writeFailure(archive::WriteError error, const char* step) {
  return std::string("the archive writer failed at ") + step + ": " +
         std::string(archive::writeErrorName(error));
}

}  // namespace

ObjectBackup backupObjectStream(const ReadCall& read, std::span<uint8_t> buffer,
                                const archive::ObjectInfo& object, archive::ArchiveWriter& writer,
                                archive::DigestCalculator& digest, BackupObserver* observer) {
  ObjectBackup result;
  auto archiveFailed = [&](archive::WriteError error, const char* step) {
    result.outcome = ObjectBackup::Outcome::kArchiveError;
    result.message = writeFailure(error, step);
    return result;
  };
  auto streamFault = [&](std::string message) {
    result.outcome = ObjectBackup::Outcome::kStreamFault;
    result.message = std::move(message);
    // Leaves the writer failed: an object that was not read to its end is never closed.
    (void)writer.finish();
    return result;
  };
  if (buffer.size() < archive::kObjectHeaderSize || buffer.size() > UINT32_MAX) {
    return streamFault("the read buffer of " + std::to_string(buffer.size()) +
                       " bytes cannot hold an object header");
  }
  if (archive::WriteError e = writer.beginObject(object); e != archive::WriteError::kNone) {
    return archiveFailed(e, "the object record");
  }
  const uint32_t capacity = static_cast<uint32_t>(buffer.size());
  bool inFile = false;
  SavedFile file;
  for (;;) {
    uint32_t count = capacity;
    uint32_t rc = read(buffer.data(), &count);
    if (rc != 0 && rc != kEndOfFile) {
      result.outcome = ObjectBackup::Outcome::kAgentError;
      result.agentResult = rc;
      result.message = inFile ? "while reading " + file.path : "where a file header was due";
      (void)writer.finish();
      return result;
    }
    if (!inFile) {
      if (rc == 0 && count == 0) break;  // the end of the object
      if (rc != 0) {
        return streamFault("end of file (9999) where a file header was due, after " +
                           std::to_string(result.files.size()) + " files");
      }
      if (count != archive::kObjectHeaderSize) {
        return streamFault("a block of " + std::to_string(count) +
                           " bytes where a 1024-byte file header was due");
      }
      if (!ferry::header::hasMagic(buffer.data())) {
        return streamFault("the block returned as a file header lacks the header magic");
      }
      archive::ObjectHeader header;
      std::copy_n(buffer.begin(), archive::kObjectHeaderSize, header.begin());
      file =
          SavedFile{archive::objectHeaderPath(header), archive::objectHeaderSizeKb(header), 0, {}};
      if (archive::WriteError e = writer.beginFile(header); e != archive::WriteError::kNone) {
        return archiveFailed(e, "a file record");
      }
      digest.reset();
      inFile = true;
      if (observer != nullptr) observer->onFileBegin(header);
      continue;
    }
    if (rc == kEndOfFile) {
      if (count != 0) {
        return streamFault("end of file of " + file.path + " with " + std::to_string(count) +
                           " bytes");
      }
      const uint64_t deliveredKb = file.bytes / 1024;
      if (file.sizeKb != deliveredKb && !(deliveredKb == 0 && file.sizeKb == 1)) {
        result.warnings.push_back(file.path + ": header says " + std::to_string(file.sizeKb) +
                                  " KB, " + std::to_string(file.bytes) + " bytes were delivered");
      }
      file.digest = digest.finish();
      if (archive::WriteError e = writer.endFile(file.digest); e != archive::WriteError::kNone) {
        return archiveFailed(e, "a file end record");
      }
      if (observer != nullptr) observer->onFileEnd(file.bytes);
      result.bytes += file.bytes;
      result.files.push_back(std::move(file));
      file = {};
      inFile = false;
      continue;
    }
    if (count == 0) {
      return streamFault("no bytes and no end of file while reading " + file.path);
    }
    if (count > capacity) {
      return streamFault("the agent reported " + std::to_string(count) + " bytes in a buffer of " +
                         std::to_string(capacity));
    }
    std::span<const uint8_t> data(buffer.data(), count);
    digest.update(data);
    if (archive::WriteError e = writer.appendData(data); e != archive::WriteError::kNone) {
      return archiveFailed(e, "a data record");
    }
    file.bytes += count;
    if (observer != nullptr) observer->onData(count);
  }
  if (archive::WriteError e = writer.endObject(); e != archive::WriteError::kNone) {
    return archiveFailed(e, "the object end record");
  }
  return result;
}

}  // namespace ferry::ctl
