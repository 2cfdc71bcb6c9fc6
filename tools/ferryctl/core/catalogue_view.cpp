#include "core/catalogue_view.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace ferry::ctl {
namespace {

std::string field(std::span<const uint8_t> record, size_t offset, size_t size) {
  const uint8_t* at = record.data() + offset;
  const void* nul = std::memchr(at, '\0', size);
  size_t length =
      nul != nullptr ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - at) : size;
  return std::string(reinterpret_cast<const char*>(at), length);
}

uint32_t u32At(std::span<const uint8_t> bytes, size_t offset) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | bytes[offset + static_cast<size_t>(i)];
  return value;
}

std::string padded(std::string_view text, size_t width) {
  std::string line(text);
  line.append(line.size() < width ? width - line.size() : 1, ' ');
  return line;
}

}  // namespace

// A text field of the agent information record, bounded by the field.
#define AGENT_INFO_FIELD(record, name) \
  field(record, offsetof(DSA_AGENT_INFO, name), sizeof(DSA_AGENT_INFO::name))

AgentInfo parseAgentInfo(std::span<const uint8_t, kAgentInfoSize> record) {
  return {AGENT_INFO_FIELD(record, vendorName), AGENT_INFO_FIELD(record, ag_build),
          AGENT_INFO_FIELD(record, vendorVersion), AGENT_INFO_FIELD(record, ag_ver),
          AGENT_INFO_FIELD(record, ag_date)};
}

#undef AGENT_INFO_FIELD

std::vector<std::string> agentInfoLines(const AgentInfo& info) {
  auto line = [](std::string_view label, const std::string& value) {
    return padded(label, 16) + (value.empty() ? "(empty)" : value);
  };
  return {line("vendor name", info.vendorName), line("build number", info.buildNumber),
          line("vendor version", info.vendorVersion), line("agent version", info.agentVersion),
          line("library date", info.libraryDate)};
}

std::vector<std::string> nulSeparatedEntries(std::span<const uint8_t> bytes) {
  std::vector<std::string> entries;
  size_t at = 0;
  while (at < bytes.size() && bytes[at] != 0) {
    const void* nul = std::memchr(bytes.data() + at, '\0', bytes.size() - at);
    size_t end = nul != nullptr
                     ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - bytes.data())
                     : bytes.size();
    entries.emplace_back(reinterpret_cast<const char*>(bytes.data() + at), end - at);
    at = end + 1;
  }
  return entries;
}

uint32_t objectSizeKb(std::span<const uint8_t, kSizeRecordSize> record) {
  return u32At(record, offsetof(DSA_OBJECT_SIZE, sizeKb));
}

uint32_t objectSizeKbAgain(std::span<const uint8_t, kSizeRecordSize> record) {
  return u32At(record, offsetof(DSA_OBJECT_SIZE, sizeKbAgain));
}

std::string objectSizeText(std::span<const uint8_t, kSizeRecordSize> record) {
  uint32_t first = objectSizeKb(record);
  uint32_t second = objectSizeKbAgain(record);
  if (first == kUnknownSizeKb && second == kUnknownSizeKb) return "unknown";
  std::string text = std::to_string(first) + " KB";
  if (second != first) text += " / " + std::to_string(second) + " KB";
  return text;
}

std::string objectLine(std::string_view name, std::string_view sizeText) {
  return padded(name, 40) + std::string(sizeText);
}

std::vector<PropertyEntry> propertySheetEntries(std::span<const uint8_t> sheet,
                                                uint32_t reportedSize) {
  size_t end = std::min<size_t>(sheet.size(), reportedSize);
  if (end <= kPropertySheetTextOffset) return {};
  std::vector<PropertyEntry> entries;
  for (const std::string& entry : nulSeparatedEntries(
           sheet.subspan(kPropertySheetTextOffset, end - kPropertySheetTextOffset))) {
    size_t tab = entry.find('\t');
    if (tab == std::string::npos) {
      entries.push_back({entry, ""});
    } else {
      entries.push_back({entry.substr(0, tab), entry.substr(tab + 1)});
    }
  }
  return entries;
}

std::vector<std::string> propertySheetLines(std::span<const uint8_t> sheet, uint32_t reportedSize) {
  size_t end = std::min<size_t>(sheet.size(), reportedSize);
  if (end <= kPropertySheetTextOffset) return {};
  std::vector<std::string> lines;
  for (const std::string& entry : nulSeparatedEntries(
           sheet.subspan(kPropertySheetTextOffset, end - kPropertySheetTextOffset))) {
    size_t tab = entry.find('\t');
    if (tab == std::string::npos) {
      lines.push_back("    " + entry);
    } else {
      lines.push_back("    " + padded(entry.substr(0, tab), 24) + entry.substr(tab + 1));
    }
  }
  return lines;
}

}  // namespace ferry::ctl
