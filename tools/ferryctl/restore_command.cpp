// restore. The archive is checked whole (lengths, counts and every file's
// SHA-256) before the agent sees any of it; then each object is replayed on a connection of
// its own, journals and configuration of a database before its data, one restore session per
// file (DSABeginRestore, the 1024-byte header as one DSAWrite, the data blocks, DSAEndRestore);
// the disconnect ends the object's restore. Afterwards every restored file is read back from
// its path and its SHA-256 compared with the archive's.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "aligned_buffer.h"
#include "archive_contents.h"
#include "archive_file.h"
#include "commands.h"
#include "core/backup_plan.h"
#include "core/catalogue_view.h"
#include "core/output_format.h"
#include "core/point_in_time.h"
#include "json_report.h"
#include "progress.h"
#include "remote_media.h"
#include "remote_stream.h"
#include "sha256.h"

namespace ferry::ctl {
namespace {

using archive::ObjectHeader;
using archive::ObjectInfo;

// The second pass for one object: replays its files through the agent.
class ReplayVisitor final : public archive::ArchiveVisitor {
 public:
  // A non-empty `remoteCode` (the installation code) gives each file's data on the session's
  // remote pipe instead of through DSAWrite.
  ReplayVisitor(const AgentEntryPoints& agent, uint32_t connectionId, size_t target,
                uint32_t options, const std::string& remoteCode, std::span<uint8_t> buffer,
                Progress& progress)
      : agent_(agent),
        connectionId_(connectionId),
        target_(target),
        options_(options),
        remoteCode_(remoteCode),
        buffer_(buffer),
        progress_(progress) {}

  bool onObject(const ObjectInfo& object) override {
    ++index_;
    if (index_ > target_) return false;  // the object was replayed: stop reading
    if (index_ == target_) name_ = object.name;
    return true;
  }
  bool onFile(const ObjectHeader& header) override {
    if (index_ != target_) return true;
    path_ = archive::objectHeaderPath(header);
    uint32_t restoreId = 0;
    uint32_t ioUnitId = 0;
    DSA_RESULT result =
        agent_.beginRestore(connectionId_, name_.c_str(), options_, &restoreId, &ioUnitId);
    if (result != DSA_OK) return fail("DSABeginRestore(" + name_ + ")", result);
    open_ = true;
    if (!remoteCode_.empty()) {
      media_ = std::make_unique<RemoteMedia>();
      media_->startWriting(
          remote::pipeName(remoteCode_, static_cast<int>(restoreId), static_cast<int>(ioUnitId)));
    }
    progress_.onFileBegin(header);
    return send(header);
  }
  bool onData(std::span<const uint8_t> data) override {
    if (index_ != target_) return true;
    progress_.onData(data.size());
    if (media_ && !media_->give(data)) return mediaFailed();
    return media_ ? true : send(data);
  }
  bool onFileEnd(const archive::FileSummary& summary) override {
    if (index_ != target_) return true;
    open_ = false;
    if (media_) media_->endOfFile();
    // The agent waits for its reader to take the rest of the file from the pipe.
    DSA_RESULT result = agent_.endRestore(connectionId_, 0);
    const std::string mediaError = media_ ? media_->finish() : std::string();
    media_.reset();
    if (result != DSA_OK) return fail("DSAEndRestore(" + name_ + ")", result);
    if (!mediaError.empty()) {
      printLine(stderr, "ferryctl: " + path_ + ": " + mediaError);
      failure_ = DSA_ERROR_REMOTE_STREAM;
      return false;
    }
    progress_.onFileEnd(summary.dataLength);
    return true;
  }
  // Ends a session that a failure left open.
  void endOpenSession() {
    if (open_) (void)agent_.endRestore(connectionId_, failure_);  // the failure was printed
    open_ = false;
    media_.reset();  // after the end: the agent's closing of the pipe ends any write of it
  }
  DSA_RESULT failure() const { return failure_; }

 private:
  bool send(std::span<const uint8_t> block) {
    // Through the aligned buffer: the agent may hand the block straight to the file system.
    std::memcpy(buffer_.data(), block.data(), block.size());
    uint32_t count = static_cast<uint32_t>(block.size());
    DSA_RESULT result = agent_.write(connectionId_, 0, 0, buffer_.data(), &count);
    if (result != DSA_OK) return fail("DSAWrite(" + path_ + ")", result);
    return true;
  }
  bool fail(const std::string& what, DSA_RESULT result) {
    printAgentFailure(agent_, what, result);
    failure_ = result;
    return false;
  }
  bool mediaFailed() {
    printLine(stderr, "ferryctl: " + path_ + ": " + media_->error());
    failure_ = DSA_ERROR_REMOTE_STREAM;
    return false;
  }

  const AgentEntryPoints& agent_;
  uint32_t connectionId_;
  size_t target_;
  uint32_t options_;
  std::string remoteCode_;
  std::unique_ptr<RemoteMedia> media_;
  std::span<uint8_t> buffer_;
  Progress& progress_;
  size_t index_ = static_cast<size_t>(-1);
  std::string name_;
  std::string path_;
  bool open_ = false;
  DSA_RESULT failure_ = DSA_OK;
};

// The SHA-256 and length of the file at `path`: "" or why it could not be read.
std::string hashFile(const std::string& path, std::span<uint8_t> buffer, Sha256& digest,
                     uint64_t* length, archive::Digest* result) {
  UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              /*security=*/nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                              /*template=*/nullptr));
  if (!file) return "cannot open: error " + std::to_string(GetLastError());
  digest.reset();
  *length = 0;
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &n, nullptr)) {
      return "cannot read: error " + std::to_string(GetLastError());
    }
    if (n == 0) break;
    digest.update(buffer.first(n));
    *length += n;
  }
  *result = digest.finish();
  if (!digest.error().empty()) return digest.error();
  return "";
}

// --as-of as seconds since 1970 (UTC), checked against the archive: a time before its
// checkpoint cannot be rolled forward to, and without database data there is no roll forward.
ExitCode pointInTime(const RestoreArguments& restore, const ArchiveContents& contents,
                     std::optional<int64_t>* endTime) {
  endTime->reset();
  if (!restore.asOf) return ExitCode::kSuccess;
  const std::string asOf = localTimeText(*restore.asOf);
  auto refuse = [](const std::string& why) {
    printLine(stderr, "ferryctl: " + why + "; nothing restored");
    return ExitCode::kUsage;
  };
  bool hasData = false;
  for (const ObjectEntry& object : contents.objects) {
    hasData = hasData || object.info.kind == archive::ObjectKind::kData;
  }
  if (!hasData) {
    return refuse("--as-of " + asOf + ": the archive holds no database data, whose roll " +
                  "forward is what ends at a point in time");
  }
  std::tm local{};
  local.tm_year = restore.asOf->year - 1900;
  local.tm_mon = restore.asOf->month - 1;
  local.tm_mday = restore.asOf->day;
  local.tm_hour = restore.asOf->hour;
  local.tm_min = restore.asOf->minute;
  local.tm_sec = restore.asOf->second;
  local.tm_isdst = -1;  // the time zone's rule for that day
  const __time64_t seconds = _mktime64(&local);
  if (seconds < 0) return refuse("--as-of " + asOf + " is not a time this system can convert");
  // The archive's time is taken when the backup begins, before its checkpoint: no point in time
  // before it has a checkpoint to roll forward from.
  const __time64_t earliest = firstSecondAtOrAfter(contents.info.creationTime);
  if (seconds < earliest) {
    std::tm earliestLocal{};
    char text[32] = "(unknown)";
    if (_localtime64_s(&earliestLocal, &earliest) == 0) {
      std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &earliestLocal);
    }
    return refuse("--as-of " + asOf + " is before the archive's checkpoint: the earliest " +
                  "point in time it can be restored to is " + text + " (local time)");
  }
  *endTime = seconds;
  return ExitCode::kSuccess;
}

struct Difference {
  std::string path;
  std::string what;  // why it could not be read, or the two lengths and digests
};

// Every restored file read back from its path and compared with the archive.
std::vector<Difference> compareRestoredFiles(const ArchiveContents& contents,
                                             std::span<uint8_t> buffer, Sha256& digest,
                                             uint64_t* checked) {
  std::vector<Difference> differing;
  *checked = 0;
  for (const ObjectEntry& object : contents.objects) {
    for (const FileEntry& file : object.files) {
      if (file.path.empty()) continue;  // no file to compare
      uint64_t length = 0;
      archive::Digest onDisk{};
      std::string error = hashFile(file.path, buffer, digest, &length, &onDisk);
      ++*checked;
      if (!error.empty()) {
        differing.push_back({file.path, error});
      } else if (length != file.bytes || onDisk != file.digest) {
        differing.push_back({file.path, "archive " + std::to_string(file.bytes) + " bytes sha256 " +
                                            digestHex(file.digest) + ", disk " +
                                            std::to_string(length) + " bytes sha256 " +
                                            digestHex(onDisk)});
      }
    }
  }
  return differing;
}

// One object on a connection of its own; the disconnect ends its restore (for data: the
// roll forward's last location).
ExitCode replayObject(const AgentEntryPoints& agent, const ConnectArguments& arguments,
                      const RestoreArguments& restore, size_t index, const ObjectEntry& object,
                      std::optional<int64_t> endTime, const std::string& remoteCode,
                      std::span<uint8_t> buffer, Progress& progress) {
  AgentConnection connection(agent);
  if (DSA_RESULT result = connection.open(arguments); result != DSA_OK) {
    return exitCodeForResult(result);
  }
  if (endTime && object.info.kind == archive::ObjectKind::kData) {
    // Before the connection's first write, which starts the roll forward.
    if (DSA_RESULT result = agent.setRestorePointInTime(connection.id(), *endTime);
        result != DSA_OK) {
      printAgentFailure(agent, "DSASetRestorePointInTime", result);
      return exitCodeForResult(result);
    }
  }
  ArchiveFileSource source;
  if (std::string error = source.open(restore.archivePath); !error.empty()) {
    printLine(stderr, "ferryctl: " + error);
    return ExitCode::kArchive;
  }
  ReplayVisitor replay(agent, connection.id(), index, restore.optionBits, remoteCode, buffer,
                       progress);
  archive::ReadResult read = archive::readArchive(source, replay);
  replay.endOpenSession();
  progress.done();
  if (replay.failure() != DSA_OK) return ExitCode::kAgentError;
  if (!read.ok() && read.error != archive::ReadError::kStoppedByVisitor) {
    printLine(stderr, "ferryctl: " + restore.archivePath + ": " + read.message);
    return ExitCode::kArchive;
  }
  if (DSA_RESULT closed = connection.close(); closed != DSA_OK) return exitCodeForResult(closed);
  return ExitCode::kSuccess;
}

// Every restored file compared with the archive, the differences printed (and, with --json,
// added to the command's `result`).
ExitCode verifyRestoredFiles(const ArchiveContents& contents, std::span<uint8_t> buffer,
                             Sha256& digest, Json result) {
  uint64_t checked = 0;
  const std::vector<Difference> differing =
      compareRestoredFiles(contents, buffer, digest, &checked);
  Json differingJson = Json::array();
  for (const Difference& difference : differing) {
    printLine(stdout, "differs: " + difference.path + ": " + difference.what);
    differingJson.push(Json::object().set("path", difference.path).set("what", difference.what));
  }
  if (jsonReportActive()) {
    jsonResult() = result.set("verifiedFiles", checked).set("differing", std::move(differingJson));
    if (!differing.empty()) {  // the document's error says what the exit code means
      printLine(stderr, "ferryctl: " + std::to_string(differing.size()) + " of " +
                            std::to_string(checked) + " restored files differ from the archive");
    }
  }
  printLine(stdout, "verified " + std::to_string(checked) + " files: " +
                        (differing.empty() ? std::string("all match the archive")
                                           : std::to_string(differing.size()) + " differ"));
  return differing.empty() ? ExitCode::kSuccess : ExitCode::kMismatch;
}

}  // namespace

ExitCode runRestore(const AgentEntryPoints& agent, const ConnectArguments& arguments,
                    const RestoreArguments& restore) {
  ArchiveContents contents;
  DWORD systemError = 0;
  if (std::string error = readContents(restore.archivePath, &contents, &systemError);
      !error.empty()) {
    if (systemError != 0 && jsonReportActive()) jsonSystemError(systemError);
    printLine(stderr, "ferryctl: " + error + "; nothing restored");
    return ExitCode::kArchive;
  }
  std::optional<int64_t> endTime;
  if (ExitCode code = pointInTime(restore, contents, &endTime); code != ExitCode::kSuccess) {
    return code;
  }
  AlignedBuffer buffer(kReadBufferSize);
  Sha256 digest;
  if (!buffer.valid() || !digest.error().empty()) {
    printLine(stderr, "ferryctl: cannot set up the restore (buffer or SHA-256)");
    return ExitCode::kArchive;
  }
  const std::string remoteCode =
      restore.remote ? installationCodeOf(arguments.instance) : std::string();
  if (restore.remote && remoteCode.empty()) {
    printLine(stderr, "ferryctl: --remote needs an instance name of the form user@CODE");
    return ExitCode::kUsage;
  }
  if (restore.asOf) {
    printLine(stdout, "point in time " + localTimeText(*restore.asOf) +
                          " (local time): the roll forward of the data ends there");
  }
  // With --json the result grows object by object, so that a failure shows what was restored.
  Json restored = Json::array();
  auto result = [&]() {
    return Json::object()
        .set("archive", restore.archivePath)
        .set("asOf", restore.asOf ? Json(localTimeText(*restore.asOf)) : Json())
        .set("optionBits", restore.optionBits)
        .set("objects", restored);
  };
  std::vector<ObjectInfo> infos;
  for (const ObjectEntry& object : contents.objects) infos.push_back(object.info);
  Progress progress;
  for (size_t index : restoreOrder(infos)) {
    const ObjectEntry& object = contents.objects[index];
    if (jsonReportActive()) jsonResult() = result();
    if (ExitCode code = replayObject(agent, arguments, restore, index, object, endTime, remoteCode,
                                     buffer.span(), progress);
        code != ExitCode::kSuccess) {
      return code;
    }
    printLine(stdout,
              savedObjectLine("restored", object.info.name, object.files.size(), object.bytes));
    restored.push(Json::object()
                      .set("name", object.info.name)
                      .set("files", static_cast<uint64_t>(object.files.size()))
                      .set("bytes", object.bytes));
    std::fflush(stdout);
  }
  return verifyRestoredFiles(contents, buffer.span(), digest, result());
}

}  // namespace ferry::ctl
