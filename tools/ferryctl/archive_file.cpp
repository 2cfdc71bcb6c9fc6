#include "archive_file.h"

#include <algorithm>
#include <cstring>

#include "agent_library.h"

namespace ferry::ctl {
namespace {

constexpr size_t kWriteBufferSize = 4u << 20;
constexpr size_t kReadBufferSize = 4u << 20;

}  // namespace

std::string fileErrorLine(const std::string& what, const std::string& path, DWORD error) {
  std::string line = what + " " + path + ": error " + std::to_string(error);
  std::string text = systemErrorText(error);
  if (!text.empty()) line += ": " + text;
  return line;
}

PartialArchiveFile::~PartialArchiveFile() { abandon(); }

std::string PartialArchiveFile::create(const std::string& path) {
  path_ = path;
  partialPath_ = path + ".partial";
  file_ = UniqueFile(CreateFileA(partialPath_.c_str(), GENERIC_WRITE, /*share=*/0,
                                 /*security=*/nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                                 /*template=*/nullptr));
  if (!file_) return fileErrorLine("cannot create", partialPath_, GetLastError());
  buffer_.reserve(kWriteBufferSize);
  return "";
}

bool PartialArchiveFile::flushBuffer() {
  size_t done = 0;
  while (done < buffer_.size()) {
    DWORD piece = static_cast<DWORD>(std::min<size_t>(buffer_.size() - done, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file_.get(), buffer_.data() + done, piece, &written, /*overlapped=*/nullptr) ||
        written == 0) {
      writeError_ = written == 0 && GetLastError() == 0 ? ERROR_WRITE_FAULT : GetLastError();
      return false;
    }
    done += written;
  }
  buffer_.clear();
  return true;
}

bool PartialArchiveFile::write(std::span<const uint8_t> bytes) {
  if (!file_ || writeError_ != 0) return false;
  if (buffer_.size() + bytes.size() > kWriteBufferSize && !flushBuffer()) return false;
  buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
  if (buffer_.size() >= kWriteBufferSize) return flushBuffer();
  return true;
}

std::string PartialArchiveFile::commit() {
  if (!file_) return "the archive file is not open";
  if (writeError_ != 0 || !flushBuffer()) {
    return fileErrorLine("cannot write", partialPath_, writeError_);
  }
  if (!FlushFileBuffers(file_.get())) {
    return fileErrorLine("cannot flush", partialPath_, GetLastError());
  }
  file_.reset();
  if (!MoveFileExA(partialPath_.c_str(), path_.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return fileErrorLine("cannot rename " + partialPath_ + " to", path_, GetLastError());
  }
  partialPath_.clear();
  return "";
}

void PartialArchiveFile::abandon() {
  if (partialPath_.empty()) return;
  file_.reset();
  buffer_.clear();
  // A partial archive that cannot be deleted still never carries the archive's name.
  DeleteFileA(partialPath_.c_str());
  partialPath_.clear();
}

std::string ArchiveFileSource::open(const std::string& path) {
  file_ = UniqueFile(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                 /*security=*/nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                                 /*template=*/nullptr));
  if (!file_) {
    openError_ = GetLastError();
    return fileErrorLine("cannot open", path, openError_);
  }
  buffer_.resize(kReadBufferSize);
  return "";
}

bool ArchiveFileSource::read(std::span<uint8_t> out, size_t& got) {
  got = 0;
  while (got < out.size()) {
    if (position_ == filled_) {
      DWORD n = 0;
      if (!ReadFile(file_.get(), buffer_.data(), static_cast<DWORD>(buffer_.size()), &n,
                    /*overlapped=*/nullptr)) {
        readError_ = GetLastError();
        return false;
      }
      position_ = 0;
      filled_ = n;
      if (n == 0) return true;  // the end of the file
    }
    size_t take = std::min(out.size() - got, filled_ - position_);
    std::memcpy(out.data() + got, buffer_.data() + position_, take);
    position_ += take;
    got += take;
  }
  return true;
}

}  // namespace ferry::ctl
