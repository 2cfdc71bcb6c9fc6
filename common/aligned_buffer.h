// A page-aligned buffer for unbuffered file I/O: a file opened with FILE_FLAG_NO_BUFFERING is
// read straight into the caller's memory, whose address must be sector-aligned and whose size a
// multiple of the sector size. VirtualAlloc gives page-aligned memory (4096 covers every sector
// size in use); the size is the caller's to choose as a multiple of 4096.
//
// Conventions as unique_handle.h: freed once by its owner (VirtualFree), never changing the
// caller's GetLastError(); moves only.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

#include "unique_handle.h"

namespace ferry {

namespace detail {
inline bool releasePages(uint8_t* pages) {
  return VirtualFree(pages, /*size=*/0, MEM_RELEASE) != FALSE;
}
}  // namespace detail

class AlignedBuffer {
 public:
  AlignedBuffer() = default;
  // Empty when the allocation failed (GetLastError() tells why).
  explicit AlignedBuffer(size_t size)
      : pages_(static_cast<uint8_t*>(
            VirtualAlloc(/*address=*/nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE))),
        size_(pages_ ? size : 0) {}
  AlignedBuffer(AlignedBuffer&& other) noexcept
      : pages_(std::move(other.pages_)), size_(std::exchange(other.size_, 0)) {}
  AlignedBuffer& operator=(AlignedBuffer&& other) noexcept {
    pages_ = std::move(other.pages_);
    size_ = std::exchange(other.size_, 0);
    return *this;
  }

  bool valid() const { return pages_.valid(); }
  uint8_t* data() const { return pages_.get(); }
  size_t size() const { return size_; }
  std::span<uint8_t> span() const { return {pages_.get(), size_}; }

 private:
  UniqueHandle<uint8_t*, detail::releasePages, 0> pages_;
  size_t size_ = 0;
};

}  // namespace ferry
