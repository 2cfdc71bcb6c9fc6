// The extractor pipe record: every message between the agent and siphon is one OidbMsg.
//
// Conventions:
// - Wire layout: exactly 340 bytes, little-endian, written with one write and read with one
//   read; the sender zero-fills the whole record first, so bytes no field covers are 0.
// - The text fields are NUL-terminated ANSI text in fixed arrays. A record that came off the
//   pipe is outside input: readers bound every look at a text field by its array size.
// - Platform-free: no windows.h, no exceptions, no allocation in the record helpers.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ferry {

enum OidbMsgType : int32_t {
  OIDBMSGTYPE_FILE_NAME = 0,        // siphon -> agent: full path of one location entry
  OIDBMSGTYPE_RESTORE_REQUEST = 1,  // siphon -> agent: "<location>\*" or the dump placeholder
  OIDBMSGTYPE_NO_MORE_FILES = 2,    // siphon -> agent: the location's listing is complete
  OIDBMSGTYPE_CKPDB_NAME = 3,       // siphon -> agent: first record of a backed-up location
  OIDBMSGTYPE_END_BACKUP = 4,       // agent -> siphon: release after the location's last file
  OIDBMSGTYPE_END_RESTORE = 5,      // agent -> siphon: release when the restore moves on
  // agent -> siphon: the backup or restore of the location failed. siphon ends with a failure,
  // so that the utility does not record a checkpoint or finish a roll forward on partial data.
  OIDBMSGTYPE_ABORT = 6,
};

inline constexpr size_t kObjectNameSize = 256;
inline constexpr size_t kCkpdbNameSize = 80;
// The longest texts the fields hold with their NUL.
inline constexpr size_t kMaxObjectNameLength = kObjectNameSize - 1;
inline constexpr size_t kMaxCkpdbNameLength = kCkpdbNameSize - 1;

struct OidbMsg {
  int32_t MsgType;
  char ObjectName[kObjectNameSize];
  char ckpdb_name[kCkpdbNameSize];
};

inline constexpr size_t kOidbMsgSize = 340;
static_assert(std::endian::native == std::endian::little,
              "the record is sent as it lies in memory, and the wire is little-endian");
static_assert(sizeof(int32_t) == 4);
static_assert(offsetof(OidbMsg, MsgType) == 0);
static_assert(offsetof(OidbMsg, ObjectName) == 4);
static_assert(offsetof(OidbMsg, ckpdb_name) == 260);
static_assert(sizeof(OidbMsg) == kOidbMsgSize);
static_assert(alignof(OidbMsg) == 4);

// Restore of the dump and configuration files instead of a location directory; the agent
// compares ObjectName with it exactly.
inline constexpr char kDumpPlaceholder[] = "\\Tidewell-DUMMY\\DUMPFILE";
static_assert(sizeof kDumpPlaceholder - 1 == 24);

// "\\.\pipe\TID": the extractor pipe name is this prefix, the installation code and the
// database name. siphon takes the two characters after it as the installation code's start.
inline constexpr char kExtractorPipePrefix[] = "\\\\.\\pipe\\TID";
inline constexpr size_t kExtractorPipePrefixLength = sizeof kExtractorPipePrefix - 1;
static_assert(kExtractorPipePrefixLength == 12);

// A zero-filled record of `type`. Texts longer than their field are cut so that the field
// keeps its NUL; callers that must not send a cut text check fitsObjectName / fitsCkpdbName.
OidbMsg makeOidbMsg(int32_t type, std::string_view objectName = {},
                    std::string_view ckpdbName = {});

inline bool fitsObjectName(std::string_view text) { return text.size() <= kMaxObjectNameLength; }
inline bool fitsCkpdbName(std::string_view text) { return text.size() <= kMaxCkpdbNameLength; }

// The text of a received record's field, up to its NUL or the end of its array.
std::string_view objectNameOf(const OidbMsg& msg);
std::string_view ckpdbNameOf(const OidbMsg& msg);

// The checkpoint number text: of the first five characters of the checkpoint file name, the
// characters 2 to 5 ("c0012001.ckp" gives "0012"); a shorter name gives what exists.
std::string_view checkpointNumberText(std::string_view ckpdbName);

// The first five characters of the checkpoint file name (or all of a shorter one).
std::string_view checkpointPrefix(std::string_view ckpdbName);

}  // namespace ferry
