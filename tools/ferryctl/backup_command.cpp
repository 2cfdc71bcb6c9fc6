// backup: the named objects, or all objects of a database, through DSABeginBackup / DSARead /
// DSAEndBackup into an archive file. The objects of one database share one connection, in
// catalogue order, because a configuration backup carries the checkpoint number of the data
// backup before it on the same connection.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "aligned_buffer.h"
#include "archive_file.h"
#include "commands.h"
#include "core/backup_plan.h"
#include "core/backup_stream.h"
#include "core/catalogue_view.h"
#include "core/output_format.h"
#include "core/remote_backup_reader.h"
#include "json_report.h"
#include "progress.h"
#include "remote_media.h"
#include "remote_stream.h"
#include "sha256.h"

namespace ferry::ctl {
namespace {

uint64_t fileTimeNow() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return static_cast<uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime;
}

struct ObjectSummaryLine {
  std::string name;
  uint64_t files = 0;
  uint64_t bytes = 0;
};

// One object on an open connection: begin, read to the end, end. Returns the exit code; on
// failure everything is printed and the writer is left failed.
ExitCode backupOneObject(const AgentEntryPoints& agent, uint32_t connectionId,
                         const std::string& name, uint32_t options, const std::string& remoteCode,
                         std::span<uint8_t> buffer, archive::ArchiveWriter& writer, Sha256& digest,
                         Progress& progress, ObjectSummaryLine* summary) {
  std::optional<ObjectName> named = classifyObjectName(name);
  if (!named) {  // the plan holds only valid names; an agent's list might not
    printLine(stderr, "ferryctl: '" + name + "' is not an object name the console knows");
    return ExitCode::kAgentError;
  }
  // The agent cuts a dotted name at the '.' in the caller's buffer: it gets a copy.
  std::vector<char> mutableName(name.begin(), name.end());
  mutableName.push_back('\0');
  uint32_t backupId = 0;
  uint32_t remoteArg = 0;
  DSA_RESULT begun =
      agent.beginBackup(connectionId, mutableName.data(), options, &backupId, &remoteArg);
  if (begun != DSA_OK) {
    printAgentFailure(agent, "DSABeginBackup(" + name + ")", begun);
    // Whatever the failed begin left behind is released; "nothing begun" (9) is expected.
    DSA_RESULT ended = agent.endBackup(connectionId, begun);
    if (ended != DSA_OK && ended != DSA_ERROR_OUT_OF_SEQUENCE) {
      printAgentFailure(agent, "DSAEndBackup(" + name + ")", ended);
    }
    (void)writer.finish();  // leaves the writer failed: the archive is never completed
    return ExitCode::kAgentError;
  }
  ReadCall agentRead = [&](uint8_t* data, uint32_t* count) {
    return agent.read(connectionId, backupId, /*reserved=*/0, data, count);
  };
  // Remote: the data come from the remote pipe, read by the media side's own thread; the
  // archive is the same.
  RemoteMedia media;
  RemoteBackupReader remoteReader(
      agentRead, [&](std::vector<uint8_t>* message) { return media.next(message); });
  ReadCall read = agentRead;
  if (!remoteCode.empty()) {
    media.startReading(
        remote::pipeName(remoteCode, static_cast<int>(backupId), static_cast<int>(remoteArg)));
    read = [&](uint8_t* data, uint32_t* count) { return remoteReader.read(data, count); };
  }
  // The archive records the options without the remote bit: how the data travelled does not
  // change what they are.
  archive::ObjectInfo object{named->kind, options & ~kRemoteOptionBit, name};
  ObjectBackup backup = backupObjectStream(read, buffer, object, writer, digest, &progress);
  media.stop();
  if (!media.error().empty()) printLine(stderr, "ferryctl: " + name + ": " + media.error());
  const bool saved = backup.outcome == ObjectBackup::Outcome::kSaved && digest.error().empty();
  uint32_t endStatus = saved ? 0 : (backup.agentResult != 0 ? backup.agentResult : 1);
  DSA_RESULT ended = agent.endBackup(connectionId, endStatus);
  progress.done();
  for (const std::string& warning : backup.warnings) {
    printLine(stderr, "ferryctl: warning: " + name + ": " + warning);
  }
  switch (backup.outcome) {
    case ObjectBackup::Outcome::kSaved:
      break;
    case ObjectBackup::Outcome::kAgentError:
      printAgentFailure(agent, "DSARead(" + name + ") " + backup.message, backup.agentResult);
      return ExitCode::kAgentError;
    case ObjectBackup::Outcome::kStreamFault:
      printLine(stderr, "ferryctl: DSARead(" + name + "): the stream broke off: " + backup.message);
      return ExitCode::kAgentError;
    case ObjectBackup::Outcome::kArchiveError:
      printLine(stderr, "ferryctl: " + name + ": " + backup.message);
      return ExitCode::kArchive;
  }
  if (!digest.error().empty()) {
    printLine(stderr, "ferryctl: SHA-256 of " + name + ": " + digest.error());
    (void)writer.finish();
    return ExitCode::kArchive;
  }
  if (ended != DSA_OK) {
    printAgentFailure(agent, "DSAEndBackup(" + name + ")", ended);
    (void)writer.finish();
    return ExitCode::kAgentError;
  }
  *summary = {name, backup.files.size(), backup.bytes};
  return ExitCode::kSuccess;
}

// The archive being written, for the life of the command: a failure before it is committed
// leaves no file under the archive's name.
struct BackupTarget {
  PartialArchiveFile file;
  archive::ArchiveWriter writer{file};

  // Prints "ferryctl: <what>", or the file's write error when there was one.
  ExitCode failure(const std::string& what) {
    std::string line = "ferryctl: " + what;
    if (file.writeError() != 0) {
      line = "ferryctl: " + fileErrorLine("cannot write", file.partialPath(), file.writeError());
    }
    printLine(stderr, line);
    return ExitCode::kArchive;
  }
};

// The objects of `--database DB` as the agent lists them, on the open connection.
ExitCode planDatabase(const AgentEntryPoints& agent, uint32_t connectionId,
                      const std::string& database, std::vector<ConnectionPlan>* plans) {
  std::vector<std::string> catalogue;
  if (DSA_RESULT result = listObjects(agent, connectionId, &catalogue); result != DSA_OK) {
    return exitCodeForResult(result);
  }
  std::vector<std::string> objects = databaseObjects(catalogue, database);
  if (objects.empty()) {
    printLine(stderr, "ferryctl: the agent offers no objects of database '" + database + "'");
    return ExitCode::kAgentError;
  }
  plans->push_back({database, objects});
  return ExitCode::kSuccess;
}

// The archive's header: its time and the agent's information record.
ExitCode archiveInfo(const AgentEntryPoints& agent, uint32_t connectionId,
                     archive::ArchiveInfo* info) {
  info->creationTime = fileTimeNow();
  info->agentInfo.assign(kAgentInfoSize, 0);
  uint32_t infoSize = kAgentInfoSize;
  if (DSA_RESULT result = agent.getAgentInfo(connectionId, info->agentInfo.data(), &infoSize);
      result != DSA_OK) {
    printAgentFailure(agent, "DSAGetAgentInfo", result);
    return exitCodeForResult(result);
  }
  info->agentInfo.resize(std::min<size_t>(infoSize, kAgentInfoSize));
  return ExitCode::kSuccess;
}

// Every plan on a connection of its own (the open one for the first), each object in order.
ExitCode backupPlans(const AgentEntryPoints& agent, const ConnectArguments& arguments,
                     const BackupArguments& backup, const std::vector<ConnectionPlan>& plans,
                     AgentConnection& connection, BackupTarget& target,
                     std::vector<ObjectSummaryLine>* saved) {
  AlignedBuffer buffer(kReadBufferSize);
  if (!buffer.valid()) {
    printLine(stderr,
              "ferryctl: cannot allocate the read buffer: error " + std::to_string(GetLastError()));
    return ExitCode::kArchive;
  }
  Sha256 digest;
  if (!digest.error().empty()) {
    printLine(stderr, "ferryctl: SHA-256: " + digest.error());
    return ExitCode::kArchive;
  }
  Progress progress;
  const std::string remoteCode =
      backup.remote ? installationCodeOf(arguments.instance) : std::string();
  for (size_t p = 0; p < plans.size(); ++p) {
    if (p > 0) {
      if (DSA_RESULT closed = connection.close(); closed != DSA_OK) {
        return exitCodeForResult(closed);
      }
      if (DSA_RESULT result = connection.open(arguments); result != DSA_OK) {
        return exitCodeForResult(result);
      }
    }
    for (const std::string& name : plans[p].objects) {
      ObjectSummaryLine summary;
      ExitCode code = backupOneObject(agent, connection.id(), name, backup.optionBits, remoteCode,
                                      buffer.span(), target.writer, digest, progress, &summary);
      if (code != ExitCode::kSuccess) {
        if (code == ExitCode::kArchive && target.file.writeError() != 0) target.failure("");
        printLine(stderr, "ferryctl: backup abandoned; no archive written");
        return code;
      }
      saved->push_back(summary);
    }
  }
  return ExitCode::kSuccess;
}

void printBackupSummary(const std::string& archivePath, const std::vector<ObjectSummaryLine>& saved,
                        uint64_t archiveBytes) {
  uint64_t files = 0;
  uint64_t bytes = 0;
  Json objects = Json::array();
  for (const ObjectSummaryLine& line : saved) {
    printLine(stdout, savedObjectLine("saved", line.name, line.files, line.bytes));
    objects.push(
        Json::object().set("name", line.name).set("files", line.files).set("bytes", line.bytes));
    files += line.files;
    bytes += line.bytes;
  }
  if (jsonReportActive()) {
    jsonResult() = Json::object()
                       .set("archive", archivePath)
                       .set("objects", std::move(objects))
                       .set("files", files)
                       .set("dataBytes", bytes)
                       .set("archiveBytes", archiveBytes);
  }
  printLine(stdout, "archive " + archivePath + ": " + std::to_string(saved.size()) +
                        (saved.size() == 1 ? " object, " : " objects, ") + std::to_string(files) +
                        (files == 1 ? " file, " : " files, ") + std::to_string(bytes) +
                        " bytes of data, " + std::to_string(archiveBytes) + " bytes in all");
}

}  // namespace

ExitCode runBackup(const AgentEntryPoints& agent, const ConnectArguments& arguments,
                   const BackupArguments& backup) {
  std::vector<ConnectionPlan> plans;
  if (backup.database.empty()) {
    std::string error;
    std::optional<std::vector<ConnectionPlan>> planned = planBackup(backup.objects, &error);
    if (!planned) {  // the command line was checked; kept for callers that did not
      printLine(stderr, "ferryctl: " + error);
      return ExitCode::kUsage;
    }
    plans = std::move(*planned);
  }
  if (backup.remote && installationCodeOf(arguments.instance).empty()) {
    printLine(stderr, "ferryctl: --remote needs an instance name of the form user@CODE");
    return ExitCode::kUsage;
  }

  AgentConnection connection(agent);
  if (DSA_RESULT result = connection.open(arguments); result != DSA_OK) {
    return exitCodeForResult(result);
  }
  if (!backup.database.empty()) {
    if (ExitCode code = planDatabase(agent, connection.id(), backup.database, &plans);
        code != ExitCode::kSuccess) {
      return code;
    }
  }
  archive::ArchiveInfo info;
  if (ExitCode code = archiveInfo(agent, connection.id(), &info); code != ExitCode::kSuccess) {
    return code;
  }

  BackupTarget target;
  if (std::string error = target.file.create(backup.archivePath); !error.empty()) {
    printLine(stderr, "ferryctl: " + error);
    return ExitCode::kArchive;
  }
  if (target.writer.begin(info) != archive::WriteError::kNone) {
    return target.failure("cannot write the archive header");
  }
  std::vector<ObjectSummaryLine> saved;
  if (ExitCode code = backupPlans(agent, arguments, backup, plans, connection, target, &saved);
      code != ExitCode::kSuccess) {
    return code;
  }
  if (DSA_RESULT closed = connection.close(); closed != DSA_OK) return exitCodeForResult(closed);
  if (target.writer.finish() != archive::WriteError::kNone) {
    return target.failure("cannot write the archive end");
  }
  if (std::string error = target.file.commit(); !error.empty()) return target.failure(error);
  printBackupSummary(backup.archivePath, saved, target.writer.bytesWritten());
  return ExitCode::kSuccess;
}

}  // namespace ferry::ctl
