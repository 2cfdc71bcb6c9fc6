// verify ARCHIVE (also spelt restore --list): the archive alone, no agent. Every length, count
// and checksum is checked; then what it holds is shown, object by object and file by file.
#include <ctime>
#include <string>

#include "archive_contents.h"
#include "commands.h"
#include "core/catalogue_view.h"
#include "core/json_fields.h"
#include "core/point_in_time.h"
#include "json_report.h"
#include "sha256.h"

namespace ferry::ctl {

namespace {

// The earliest point in time a restore of the archive can roll forward to, in local time as
// restore --as-of takes it.
Json earliestPointInTime(uint64_t creationTime) {
  const __time64_t seconds = firstSecondAtOrAfter(creationTime);
  std::tm local{};
  if (creationTime == 0 || _localtime64_s(&local, &seconds) != 0) return Json();
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return Json(text);
}

Json contentsJson(const std::string& archivePath, const ArchiveContents& contents,
                  const Json& agent) {
  Json objects = Json::array();
  uint64_t files = 0;
  uint64_t bytes = 0;
  for (const ObjectEntry& object : contents.objects) {
    Json fileList = Json::array();
    for (const FileEntry& file : object.files) {
      fileList.push(Json::object()
                        .set("path", file.path)
                        .set("bytes", file.bytes)
                        .set("sha256", digestHex(file.digest)));
    }
    objects.push(Json::object()
                     .set("name", object.info.name)
                     .set("kind", objectKindWord(object.info.kind))
                     .set("optionBits", object.info.options)
                     .set("bytes", object.bytes)
                     .set("files", std::move(fileList)));
    files += object.files.size();
    bytes += object.bytes;
  }
  return Json::object()
      .set("archive", archivePath)
      .set("written", utcTimeText(contents.info.creationTime))
      .set("earliestAsOf", earliestPointInTime(contents.info.creationTime))
      .set("agent", agent)
      .set("objects", std::move(objects))
      .set("files", files)
      .set("bytes", bytes)
      .set("verified", true);
}

}  // namespace

ExitCode runVerify(const std::string& archivePath) {
  ArchiveContents contents;
  DWORD systemError = 0;
  if (std::string error = readContents(archivePath, &contents, &systemError); !error.empty()) {
    if (systemError != 0 && jsonReportActive()) jsonSystemError(systemError);
    printLine(stderr, "ferryctl: " + error);
    return ExitCode::kArchive;
  }
  Json agent;
  printLine(stdout,
            "archive " + archivePath + ", written " + fileTimeText(contents.info.creationTime));
  if (contents.info.agentInfo.size() == kAgentInfoSize) {
    AgentInfo agentInfo = parseAgentInfo(
        std::span<const uint8_t, kAgentInfoSize>(contents.info.agentInfo.data(), kAgentInfoSize));
    printLine(stdout, "agent: " + agentInfo.vendorName + ", build " + agentInfo.buildNumber +
                          ", version " + agentInfo.agentVersion);
    agent = agentInfoJson(agentInfo);
  }
  uint64_t files = 0;
  uint64_t bytes = 0;
  for (const ObjectEntry& object : contents.objects) {
    printLine(stdout, "object " + object.info.name + " (" + kindName(object.info.kind) +
                          ", option bits " + hex32(object.info.options) +
                          "): " + std::to_string(object.files.size()) + " files, " +
                          std::to_string(object.bytes) + " bytes");
    for (const FileEntry& file : object.files) {
      printLine(stdout, "  " + file.path + "  " + std::to_string(file.bytes) + " bytes  sha256 " +
                            digestHex(file.digest));
    }
    files += object.files.size();
    bytes += object.bytes;
  }
  printLine(stdout, std::to_string(contents.objects.size()) + " objects, " + std::to_string(files) +
                        " files, " + std::to_string(bytes) +
                        " bytes; every length and checksum verified");
  if (jsonReportActive()) jsonResult() = contentsJson(archivePath, contents, agent);
  return ExitCode::kSuccess;
}

}  // namespace ferry::ctl
