// The archive file on disk: written as ARCHIVE.partial and renamed to ARCHIVE only once the
// archive is complete, so that a backup that failed half-way never leaves a file under the
// archive's name; and read back through a buffered source.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "core/archive_format.h"
#include "unique_handle.h"

namespace ferry::ctl {

class PartialArchiveFile final : public archive::ByteSink {
 public:
  PartialArchiveFile() = default;
  ~PartialArchiveFile() override;  // abandons what was not committed
  PartialArchiveFile(const PartialArchiveFile&) = delete;
  PartialArchiveFile& operator=(const PartialArchiveFile&) = delete;

  // Creates (replaces) `path`.partial: "" or the line to print.
  std::string create(const std::string& path);
  bool write(std::span<const uint8_t> bytes) override;
  // Writes what is buffered, flushes it to the disk and renames the file to the archive's name
  // (replacing an older archive of that name): "" or the line to print.
  std::string commit();
  // Closes and deletes the partial file.
  void abandon();

  const std::string& partialPath() const { return partialPath_; }
  // The Windows error of the first failed write, 0 if none.
  DWORD writeError() const { return writeError_; }

 private:
  bool flushBuffer();

  std::string path_;
  std::string partialPath_;
  UniqueFile file_;
  std::vector<uint8_t> buffer_;
  DWORD writeError_ = 0;
};

class ArchiveFileSource final : public archive::ByteSource {
 public:
  // "" or the line to print.
  std::string open(const std::string& path);
  bool read(std::span<uint8_t> buffer, size_t& got) override;
  // The Windows error of a failed open, of the first failed read; 0 if none.
  DWORD openError() const { return openError_; }
  DWORD readError() const { return readError_; }

 private:
  UniqueFile file_;
  std::vector<uint8_t> buffer_;
  size_t position_ = 0;
  size_t filled_ = 0;
  DWORD openError_ = 0;
  DWORD readError_ = 0;
};

// "PATH: error E: TEXT"
std::string fileErrorLine(const std::string& what, const std::string& path, DWORD error);

}  // namespace ferry::ctl
