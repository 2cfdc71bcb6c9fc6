#include "archive_contents.h"

#include <cstdio>

#include "archive_file.h"
#include "sha256.h"

namespace ferry::ctl {
namespace {

using archive::ObjectHeader;
using archive::ObjectInfo;

// The first pass: everything the archive holds but the data.
class ContentsVisitor final : public archive::ArchiveVisitor {
 public:
  explicit ContentsVisitor(ArchiveContents& contents) : contents_(contents) {}
  bool onArchive(const archive::ArchiveInfo& info) override {
    contents_.info = info;
    return true;
  }
  bool onObject(const ObjectInfo& object) override {
    contents_.objects.push_back({object, {}, 0});
    return true;
  }
  bool onFile(const ObjectHeader& header) override {
    contents_.objects.back().files.push_back(
        {archive::objectHeaderPath(header), archive::objectHeaderSizeKb(header), 0, {}});
    return true;
  }
  bool onFileEnd(const archive::FileSummary& summary) override {
    FileEntry& file = contents_.objects.back().files.back();
    file.bytes = summary.dataLength;
    file.digest = summary.digest;
    contents_.objects.back().bytes += summary.dataLength;
    return true;
  }

 private:
  ArchiveContents& contents_;
};

}  // namespace

std::string readContents(const std::string& path, ArchiveContents* contents, DWORD* systemError) {
  *systemError = 0;
  ArchiveFileSource source;
  if (std::string error = source.open(path); !error.empty()) {
    *systemError = source.openError();
    return error;
  }
  Sha256 digest;
  if (!digest.error().empty()) return "SHA-256: " + digest.error();
  ContentsVisitor visitor(*contents);
  archive::ReadResult read = archive::readArchive(source, visitor, &digest);
  if (!digest.error().empty()) return "SHA-256: " + digest.error();
  if (read.error == archive::ReadError::kSourceFailed) {
    *systemError = source.readError();
    return fileErrorLine("cannot read", path, source.readError());
  }
  if (!read.ok()) return path + ": " + read.message;
  return "";
}

std::string kindName(archive::ObjectKind kind) {
  switch (kind) {
    case archive::ObjectKind::kData:
      return "database data";
    case archive::ObjectKind::kJournal:
      return "journal files";
    case archive::ObjectKind::kConfiguration:
      return "configuration and dump files";
  }
  return "unknown";
}

std::string hex32(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", value);
  return text;
}

std::string fileTimeText(uint64_t fileTime) {
  FILETIME ft{static_cast<DWORD>(fileTime), static_cast<DWORD>(fileTime >> 32)};
  SYSTEMTIME st{};
  if (fileTime == 0 || !FileTimeToSystemTime(&ft, &st)) return "(unknown)";
  char text[40];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u UTC", st.wYear, st.wMonth,
                st.wDay, st.wHour, st.wMinute, st.wSecond);
  return text;
}

}  // namespace ferry::ctl
