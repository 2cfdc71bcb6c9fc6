// The platform-free layouts and list building of the object catalogue: the agent information
// record, the object size record, the property sheet, the object list built from the database
// list and the excluded-files list.
//
// Conventions:
// - No windows.h, no exceptions. Every writer takes the size of the buffer it writes and never
//   passes it; the length it would need is always reported, so callers can negotiate.
// - Layouts are the public records of ferryman_records.h, whose size and field offsets are
//   fixed by static_assert: the backup server reads them byte by byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/object_names.h"
#include "ferryman_records.h"

namespace ferry::agent {

// The records that cross the interface (ferryman_records.h), under the agent's names.
using AgentInfoRecord = DSA_AGENT_INFO;
using ObjectSizeRecord = DSA_OBJECT_SIZE;
using PropertySheetHeader = DSA_PROPERTY_SHEET_HEADER;

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

// Stands in for a size that cannot be determined.
inline constexpr uint32_t kUnknownSizeKb = DSA_UNKNOWN_SIZE_KB;
// Bytes to KB, rounded down, low 32 bits; a negative byte count (unknown) gives 3000.
uint32_t sizeInKb(int64_t bytes);

inline constexpr size_t kPropertySheetSize = DSA_PROPERTY_SHEET_SIZE;

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
