// A read buffer for DSARead: the agent reads object files unbuffered straight into it, so its
// address must be sector-aligned and its size a multiple of the sector size. VirtualAlloc gives
// page-aligned memory (4096 covers every sector size in use).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <span>

namespace ferry::ctl {

inline constexpr size_t kReadBufferSize = 1u << 20;  // 1 MiB, a multiple of 4096
static_assert(kReadBufferSize % 4096 == 0);

class AlignedBuffer {
 public:
  explicit AlignedBuffer(size_t size)
      : data_(static_cast<uint8_t*>(
            VirtualAlloc(/*address=*/nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE))),
        size_(data_ != nullptr ? size : 0) {}
  ~AlignedBuffer() {
    if (data_ != nullptr) VirtualFree(data_, 0, MEM_RELEASE);
  }
  AlignedBuffer(const AlignedBuffer&) = delete;
  AlignedBuffer& operator=(const AlignedBuffer&) = delete;

  // Empty when the allocation failed (GetLastError() tells why).
  std::span<uint8_t> span() const { return {data_, size_}; }
  bool valid() const { return data_ != nullptr; }

 private:
  uint8_t* data_;
  size_t size_;
};

}  // namespace ferry::ctl
