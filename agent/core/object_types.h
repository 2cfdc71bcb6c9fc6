// The agent's vocabulary below its flows: the kind of object a connection backs up or restores,
// where the connection stands between its begin and end calls, and the per-file information the
// readers and the restore's request reader fill.
//
// Conventions:
// - Platform-free: no windows.h, no exceptions.
// - The numeric values are the ones the connection record stores and the trace lines and
//   activity entries print; they never change.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ferry::agent {

// The kind of the connection's current object (ConnectionRecord::ObjectType). A name of no known
// form classifies as None. ConfigAlias is the configuration kind's other value, which the readers
// accept as Config; nothing sets it.
enum class ObjectType : int32_t {
  None = 0,
  Data = 2,
  Journal = 6,
  ConfigAlias = 7,
  Config = 8,
};

constexpr bool isConfigType(ObjectType type) {
  return type == ObjectType::Config || type == ObjectType::ConfigAlias;
}
constexpr int asNumber(ObjectType type) { return static_cast<int>(type); }

// Where a connection stands (ConnectionRecord::status): idle, a backup begun (its begin step
// allocated the object's work block) until DSAEndBackup, a restore begun (the first DSAWrite ran
// the begin step) until the connection ends. BackupAccepted is a second value the backup readers
// accept as a begun backup; nothing sets it.
enum class ConnectionStatus : int32_t {
  Idle = 0,
  Backup = 1,
  Restore = 2,
  BackupAccepted = 3,
};

constexpr bool isBackingUp(ConnectionStatus status) {
  return status == ConnectionStatus::Backup || status == ConnectionStatus::BackupAccepted;
}
constexpr bool isRestoring(ConnectionStatus status) { return status == ConnectionStatus::Restore; }
constexpr int asNumber(ConnectionStatus status) { return static_cast<int>(status); }

// What DataFileInfo::kind says of the file a finder or request reader produced.
inline constexpr int32_t kFileKindOrdinary = 100;
inline constexpr int32_t kFileKindDumpPlaceholder = 101;
inline constexpr int32_t kFileKindConfiguration = 102;

// The per-file information the finders fill.
struct DataFileInfo {
  char checkpointText[12];
  int32_t kind;  // one of the kFileKind values
  char dbName[256];
  uint32_t sizeKb;  // byte size >> 10, at least 1; 0 when the file could not be measured
};
static_assert(offsetof(DataFileInfo, checkpointText) == 0);
static_assert(offsetof(DataFileInfo, kind) == 12);
static_assert(offsetof(DataFileInfo, dbName) == 16);
static_assert(offsetof(DataFileInfo, sizeKb) == 272);
static_assert(sizeof(DataFileInfo) == 276);

// The file size in KB as the object header carries it: bytes >> 10, at least 1, at most the
// largest 32-bit value.
constexpr uint32_t sizeInHeaderKb(uint64_t bytes) {
  const uint64_t kb = bytes >> 10;
  if (kb == 0) return 1;
  return kb > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(kb);
}

}  // namespace ferry::agent
