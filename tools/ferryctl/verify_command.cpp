// verify ARCHIVE (also spelt restore --list): the archive alone, no agent. Every length, count
// and checksum is checked; then what it holds is shown, object by object and file by file.
#include <string>

#include "archive_contents.h"
#include "commands.h"
#include "core/catalogue_view.h"
#include "sha256.h"

namespace ferry::ctl {

ExitCode runVerify(const std::string& archivePath) {
  ArchiveContents contents;
  DWORD systemError = 0;
  if (std::string error = readContents(archivePath, &contents, &systemError); !error.empty()) {
    printLine(stderr, "ferryctl: " + error);
    return ExitCode::kArchive;
  }
  printLine(stdout,
            "archive " + archivePath + ", written " + fileTimeText(contents.info.creationTime));
  if (contents.info.agentInfo.size() == kAgentInfoSize) {
    AgentInfo agentInfo = parseAgentInfo(
        std::span<const uint8_t, kAgentInfoSize>(contents.info.agentInfo.data(), kAgentInfoSize));
    printLine(stdout, "agent: " + agentInfo.vendorName + ", build " + agentInfo.buildNumber +
                          ", version " + agentInfo.agentVersion);
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
  return ExitCode::kSuccess;
}

}  // namespace ferry::ctl
