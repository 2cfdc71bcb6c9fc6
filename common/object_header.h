// The object header: the 1024-byte block that DSARead returns ahead of each object file of a
// backup, and that DSAWrite takes back on restore ahead of the file's data.
//
// Conventions:
// - Byte offsets into the block; integers little-endian, times Windows file times (100 ns since
//   1601, UTC); texts NUL-terminated ANSI within their field.
// - The agent zero-fills the whole block before it fills the fields and always reports 1024
//   bytes for it, so a header read back from a backup is byte-for-byte what the agent wrote.
// - A block that came back from a backup is outside input: readers bound every text by its field.
// - Platform-free: no windows.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace ferry::header {

inline constexpr size_t kSize = 1024;

inline constexpr size_t kMagicOffset = 0;
inline constexpr size_t kMagicSize = 12;
inline constexpr char kMagic[] = "FERRYMAN";  // NUL-padded to kMagicSize

inline constexpr size_t kCheckpointOffset = 12;  // checkpoint number text of the backup
inline constexpr size_t kCheckpointSize = 500;
inline constexpr size_t kPathOffset = 512;  // full path of the object file; empty after the last
inline constexpr size_t kPathSize = 256;
inline constexpr size_t kSizeKbOffset = 768;  // uint32 file size in KB; 0 after the last file
inline constexpr size_t kCreationTimeOffset = 776;
inline constexpr size_t kLastAccessTimeOffset = 784;
inline constexpr size_t kLastWriteTimeOffset = 792;

static_assert(kCheckpointOffset == kMagicOffset + kMagicSize);
static_assert(kPathOffset == kCheckpointOffset + kCheckpointSize);
static_assert(kSizeKbOffset == kPathOffset + kPathSize);
static_assert(kLastWriteTimeOffset + 8 <= kSize);

// A text field of a header, up to its NUL or the end of the field.
inline std::string_view textField(const void* block, size_t offset, size_t size) {
  const char* begin = static_cast<const char*>(block) + offset;
  const void* nul = std::memchr(begin, '\0', size);
  return {begin,
          nul != nullptr ? static_cast<size_t>(static_cast<const char*>(nul) - begin) : size};
}

inline std::string_view pathOf(const void* block) {
  return textField(block, kPathOffset, kPathSize);
}
inline std::string_view checkpointOf(const void* block) {
  return textField(block, kCheckpointOffset, kCheckpointSize);
}

inline uint32_t sizeKbOf(const void* block) {
  const auto* bytes = static_cast<const uint8_t*>(block) + kSizeKbOffset;
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

inline uint64_t fileTimeOf(const void* block, size_t offset) {
  const auto* bytes = static_cast<const uint8_t*>(block) + offset;
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = value << 8 | bytes[i];
  return value;
}

// True when the block carries the magic text the agent writes into every header it returns.
// The comparison takes in the magic's NUL, so a longer text in the field does not match.
inline bool hasMagic(const void* block) {
  return std::memcmp(static_cast<const char*>(block) + kMagicOffset, kMagic, sizeof kMagic) == 0;
}

}  // namespace ferry::header
