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

#include "ferryman_records.h"

namespace ferry::ctl {

// The 96-byte agent information record (DSA_AGENT_INFO).
inline constexpr size_t kAgentInfoSize = DSA_AGENT_INFO_SIZE;

struct AgentInfo {
  std::string vendorName;
  std::string buildNumber;
  std::string vendorVersion;
  std::string agentVersion;
  std::string libraryDate;
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
inline constexpr uint32_t kUnknownSizeKb = DSA_UNKNOWN_SIZE_KB;
inline constexpr size_t kSizeRecordSize = sizeof(DSA_OBJECT_SIZE);

// "1234 KB", "unknown", or "1234 KB / 1200 KB" when the two counts differ.
std::string objectSizeText(std::span<const uint8_t, kSizeRecordSize> record);
// The two counts as the agent wrote them.
uint32_t objectSizeKb(std::span<const uint8_t, kSizeRecordSize> record);
uint32_t objectSizeKbAgain(std::span<const uint8_t, kSizeRecordSize> record);

// One line of the object list: the name, padded to a column, and its size text.
std::string objectLine(std::string_view name, std::string_view sizeText);

// The property sheet: its text lines follow the fixed head; each "label\tvalue".
inline constexpr size_t kPropertySheetTextOffset = DSA_PROPERTY_SHEET_TEXT_OFFSET;
inline constexpr size_t kPropertySheetMinimumSize = DSA_PROPERTY_SHEET_SIZE;

// The sheet's text lines as the agent wrote them: the label and, after its TAB, the value (an
// empty value for a line without a TAB). `reportedSize` bounds the reading together with the
// buffer's size.
struct PropertyEntry {
  std::string label;
  std::string value;
};
std::vector<PropertyEntry> propertySheetEntries(std::span<const uint8_t> sheet,
                                                uint32_t reportedSize);

// The sheet's lines, each indented and with its TAB turned into padding after the label.
// `reportedSize` bounds the reading together with the buffer's size.
std::vector<std::string> propertySheetLines(std::span<const uint8_t> sheet, uint32_t reportedSize);

}  // namespace ferry::ctl
