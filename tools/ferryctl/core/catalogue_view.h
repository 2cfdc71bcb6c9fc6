// The records the agent's catalogue calls fill in the console's buffers (DSAGetAgentInfo,
// DSAEnumObjects, DSAGetExcludedFiles), read with every text bounded by its field and by the
// buffer, and the lines the console prints for them.
//
// Conventions: platform-free; no exceptions; lines without their newline. The console zeroes
// every buffer before it hands it to the agent, so a list that the agent ended early still ends
// within the buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ferry::ctl {

// The 96-byte agent information record.
inline constexpr size_t kAgentInfoSize = 96;

struct AgentInfo {
  std::string vendorName;     // offset 0, 48 bytes
  std::string buildNumber;    // offset 48, 16 bytes
  std::string vendorVersion;  // offset 64, 8 bytes
  std::string agentVersion;   // offset 72, 8 bytes
  std::string libraryDate;    // offset 80, 16 bytes
};

AgentInfo parseAgentInfo(std::span<const uint8_t, kAgentInfoSize> record);
// "vendor name     Ingres Server" and the like, one line per field; an empty field shows as
// "(empty)".
std::vector<std::string> agentInfoLines(const AgentInfo& info);

// NUL-terminated entries from the start of `bytes` up to the first empty entry or the end of
// `bytes`; an entry cut off by the end is kept as far as it goes.
std::vector<std::string> nulSeparatedEntries(std::span<const uint8_t> bytes);

// The object size record: two 32-bit KB counts; 3000 in both means the agent could not measure
// the object (an object of exactly 3000 KB reads the same: the interface has no other signal).
inline constexpr uint32_t kUnknownSizeKb = 3000;
inline constexpr size_t kSizeRecordSize = 8;

// "1234 KB", "unknown", or "1234 KB / 1200 KB" when the two counts differ.
std::string objectSizeText(std::span<const uint8_t, kSizeRecordSize> record);

// One line of the object list: the name, padded to a column, and its size text.
std::string objectLine(std::string_view name, std::string_view sizeText);

// The property sheet: its text lines start at offset 460; each "label\tvalue".
inline constexpr size_t kPropertySheetTextOffset = 460;
inline constexpr size_t kPropertySheetMinimumSize = 1024;

// The sheet's lines, each indented and with its TAB turned into padding after the label.
// `reportedSize` bounds the reading together with the buffer's size.
std::vector<std::string> propertySheetLines(std::span<const uint8_t> sheet, uint32_t reportedSize);

}  // namespace ferry::ctl
