// The object catalogue's layouts and lists, free of Win32 so that they are tested natively.
#include "core/object_catalogue.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace ferry::agent {
namespace {

// Copies `text` into a field of `size` bytes, cut so that the field keeps its NUL.
void copyField(char* field, size_t size, const char* text) {
  if (text == nullptr) return;
  size_t length = std::min(std::strlen(text), size - 1);
  std::memcpy(field, text, length);
  field[length] = '\0';
}

constexpr std::string_view kUnprefixedJournal = "JOURNAL OF DATABASE";
constexpr std::string_view kListedJournal = "~JOURNAL OF DATABASE";

template <typename T>
void put(std::vector<char>* sheet, size_t offset, T value) {
  std::memcpy(sheet->data() + offset, &value, sizeof value);
}

}  // namespace

void fillAgentInfoRecord(AgentInfoRecord* record, const char* build, const char* version,
                         const char* date) {
  std::memset(record, 0, sizeof *record);
  copyField(record->vendorName, sizeof record->vendorName, kVendorName);
  copyField(record->ag_build, sizeof record->ag_build, build);
  copyField(record->ag_ver, sizeof record->ag_ver, version);
  copyField(record->ag_date, sizeof record->ag_date, date);
}

std::string agentVersionText(uint32_t productVersionHigh) {
  char text[32];
  std::snprintf(text, sizeof text, "%d.%d", static_cast<int>(productVersionHigh >> 16),
                static_cast<int>(productVersionHigh & 0xffffu));
  return text;
}

std::string agentDateText(int month, int day, int year) {
  char text[48];
  std::snprintf(text, sizeof text, "%d-%d-%d", month, day, year);
  return text;
}

uint32_t sizeInKb(int64_t bytes) {
  if (bytes < 0) return kUnknownSizeKb;
  return static_cast<uint32_t>(static_cast<uint64_t>(bytes) / 1024u);
}

std::vector<char> buildPropertySheet(const PropertyLabels& labels, const PropertyFacts& facts,
                                     size_t* reportedSize) {
  std::vector<std::string> lines;
  lines.push_back(labels.property + "\t" + labels.value);
  lines.push_back(labels.installation + "\t" + facts.installationCode);
  lines.push_back(labels.object + "\t" + facts.objectName);
  if (!facts.found) {
    lines.push_back(labels.size + "\t" + labels.notAvailable);
  } else {
    lines.push_back(labels.size + "\t" + std::to_string(facts.sizeKb) + " KB");
    if (facts.destinations.size() == 1) {
      lines.push_back(labels.location + "\t" + facts.destinations[0]);
    } else {
      for (size_t i = 0; i < facts.destinations.size(); ++i) {
        lines.push_back(labels.location + " " + std::to_string(i + 1) + "\t" +
                        facts.destinations[i]);
      }
    }
  }
  size_t end = sizeof(PropertySheetHeader);
  for (const std::string& line : lines) end += line.size() + 1;
  // The reported size covers the empty entry after the last line.
  std::vector<char> sheet(std::max(kPropertySheetSize, end + 1), '\0');
  put<uint32_t>(&sheet, offsetof(PropertySheetHeader, signature), DSA_PROPERTY_SHEET_SIGNATURE);
  put<uint16_t>(&sheet, offsetof(PropertySheetHeader, value8), 2);
  put<uint16_t>(&sheet, offsetof(PropertySheetHeader, value10), 160);
  put<uint16_t>(&sheet, offsetof(PropertySheetHeader, value12), 220);
  put<uint32_t>(&sheet, offsetof(PropertySheetHeader, value144), 2);
  size_t offset = sizeof(PropertySheetHeader);
  for (const std::string& line : lines) {
    std::memcpy(sheet.data() + offset, line.c_str(), line.size() + 1);
    offset += line.size() + 1;
  }
  *reportedSize = offset + 1;
  return sheet;
}

size_t buildObjectList(const char* dbList, size_t dbListSize, char* out, size_t outSize) {
  std::vector<std::string> entries;
  size_t offset = 0;
  while (dbList != nullptr && offset < dbListSize) {
    const char* start = dbList + offset;
    const void* nul = std::memchr(start, '\0', dbListSize - offset);
    size_t length = nul != nullptr ? static_cast<size_t>(static_cast<const char*>(nul) - start)
                                   : dbListSize - offset;
    if (length == 0) break;
    std::string_view name(start, length);
    offset += length + 1;
    bool listedJournal = name.starts_with(kListedJournal);
    std::string first = name.starts_with(kUnprefixedJournal) ? "~" : "";
    first += name;
    if (!listedJournal) first += kDataSuffix;
    entries.push_back(first);
    // The journal entry of a database stands on its own: its data and dump files are offered
    // under the plain name.
    if (!listedJournal) entries.push_back(std::string(name) + std::string(kConfigSuffix));
  }
  size_t needed = 2;  // the empty end entry and one more zero byte
  for (const std::string& entry : entries) needed += entry.size() + 1;
  if (needed > outSize || out == nullptr) return needed;
  size_t at = 0;
  for (const std::string& entry : entries) {
    std::memcpy(out + at, entry.c_str(), entry.size() + 1);
    at += entry.size() + 1;
  }
  out[at] = '\0';
  out[at + 1] = '\0';
  return needed;
}

size_t packPaths(const std::vector<std::string>& paths, char* out, size_t outSize) {
  size_t needed = 0;
  for (const std::string& path : paths) needed += path.size() + 1;
  if (needed > outSize || out == nullptr) return needed;
  std::memset(out, 0, outSize);
  size_t at = 0;
  for (const std::string& path : paths) {
    std::memcpy(out + at, path.c_str(), path.size() + 1);
    at += path.size() + 1;
  }
  return needed;
}

}  // namespace ferry::agent
