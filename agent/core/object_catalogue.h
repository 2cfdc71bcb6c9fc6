// The platform-free layouts and list building of the object catalogue: the agent information
// record, the object size record, the property sheet, the object list built from the database
// list, the classification of object names and the excluded-files list.
//
// Conventions:
// - No windows.h, no exceptions. Every writer takes the size of the buffer it writes and never
//   passes it; the length it would need is always reported, so callers can negotiate.
// - Layouts are plain structs whose size and field offsets are fixed by static_assert: the
//   backup server reads them byte by byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ferry::agent {

// DSAGetAgentInfo's record: NUL-terminated ANSI fields, the rest of each field zero.
struct AgentInfoRecord {
  char vendorName[48];
  char ag_build[16];
  char vendorVersion[8];
  char ag_ver[8];
  char ag_date[16];
};
static_assert(sizeof(AgentInfoRecord) == 96);
static_assert(offsetof(AgentInfoRecord, vendorName) == 0);
static_assert(offsetof(AgentInfoRecord, ag_build) == 48);
static_assert(offsetof(AgentInfoRecord, vendorVersion) == 64);
static_assert(offsetof(AgentInfoRecord, ag_ver) == 72);
static_assert(offsetof(AgentInfoRecord, ag_date) == 80);

inline constexpr char kVendorName[] = "Ingres Server";
inline constexpr char kUnknownBuild[] = "?";
inline constexpr char kFallbackVersion[] = "11.5";
inline constexpr char kFallbackDate[] = "03-01-2005";

// Zeroes the record and fills it; a text longer than its field is cut so that the field keeps
// its NUL.
void fillAgentInfoRecord(AgentInfoRecord* record, const char* build, const char* version,
                         const char* date);
// "%d.%d" of the product-version-high word's high and low halves.
std::string agentVersionText(uint32_t productVersionHigh);
// "%d-%d-%d": month, day, year without leading zeros.
std::string agentDateText(int month, int day, int year);

// Output of DSAEnumObjects type 2: the size in KB twice.
struct ObjectSizeRecord {
  uint32_t sizeKb;
  uint32_t sizeKbAgain;
};
static_assert(sizeof(ObjectSizeRecord) == 8);
static_assert(offsetof(ObjectSizeRecord, sizeKb) == 0);
static_assert(offsetof(ObjectSizeRecord, sizeKbAgain) == 4);

// Stands in for a size that cannot be determined.
inline constexpr uint32_t kUnknownSizeKb = 3000;
// Bytes to KB, rounded down, low 32 bits; a negative byte count (unknown) gives 3000.
uint32_t sizeInKb(int64_t bytes);

// The fixed head of DSAEnumObjects type 5's property sheet; the text lines follow it.
struct PropertySheetHeader {
  uint32_t signature;  // 0x04655291
  uint32_t reserved0;
  uint16_t value8;   // 2
  uint16_t value10;  // 160
  uint16_t value12;  // 220
  uint8_t zero14[126];
  uint32_t value140;  // 0
  uint32_t value144;  // 2
  uint8_t zero148[312];
};
static_assert(sizeof(PropertySheetHeader) == 460);
static_assert(offsetof(PropertySheetHeader, signature) == 0);
static_assert(offsetof(PropertySheetHeader, reserved0) == 4);
static_assert(offsetof(PropertySheetHeader, value8) == 8);
static_assert(offsetof(PropertySheetHeader, value10) == 10);
static_assert(offsetof(PropertySheetHeader, value12) == 12);
static_assert(offsetof(PropertySheetHeader, zero14) == 14);
static_assert(offsetof(PropertySheetHeader, value140) == 140);
static_assert(offsetof(PropertySheetHeader, value144) == 144);
static_assert(offsetof(PropertySheetHeader, zero148) == 148);

inline constexpr size_t kPropertySheetSize = 1024;

// The labels of the sheet, in the roles of ids 301 to 307.
struct PropertyLabels {
  std::string size;          // 301
  std::string location;      // 302
  std::string installation;  // 303
  std::string object;        // 304
  std::string notAvailable;  // 305
  std::string property;      // 306
  std::string value;         // 307
};

// What the sheet shows of the object: its size and destinations when both were found.
struct PropertyFacts {
  std::string installationCode;
  std::string objectName;
  bool found = false;
  uint32_t sizeKb = 0;
  std::vector<std::string> destinations;  // one line per destination, numbered when several
};

// The whole sheet as the caller's buffer must receive it: at least kPropertySheetSize bytes,
// zero-filled, the header and the lines. *reportedSize: the offset just past the last line's NUL
// plus one, so that it covers the empty end entry.
std::vector<char> buildPropertySheet(const PropertyLabels& labels, const PropertyFacts& facts,
                                     size_t* reportedSize);

// Object names.
inline constexpr std::string_view kJournalObjectPrefix = "~JOURNAL OF DATABASE ";
inline constexpr std::string_view kDataSuffix = ".DATA";
inline constexpr std::string_view kConfigSuffix = ".~CONFIG";
// Longest database name an object name may carry (the connection record's dbName less its NUL).
inline constexpr size_t kMaxDatabaseName = 255;

enum class ObjectKind { Data, ConfigDump, Journal, Invalid };

// What an object name covers and its database name. Journal: the text after the prefix; else
// the text before the first '.', dump when the text after it is exactly "~CONFIG", data
// otherwise. Invalid: no database name, or one longer than kMaxDatabaseName.
ObjectKind classifyObjectName(std::string_view objectName, std::string* database);

// The object list from the database list (`dbList`, `dbListSize` bytes: NUL-terminated names
// ending with an empty one; a list without that end stops at the buffer's end). Writes at most
// `outSize` bytes to `out` (which may be null when `outSize` is 0) and returns the length of the
// whole list: the entries with their NULs, the empty end entry and one more zero byte. Nothing
// is written when that length exceeds `outSize`.
size_t buildObjectList(const char* dbList, size_t dbListSize, char* out, size_t outSize);

// Packs paths, each with its NUL, one after another. Returns the bytes needed; copies only
// when they fit in `outSize`, after zeroing all `outSize` bytes.
size_t packPaths(const std::vector<std::string>& paths, char* out, size_t outSize);

}  // namespace ferry::agent
