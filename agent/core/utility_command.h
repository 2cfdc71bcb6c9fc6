// Command lines and file names of the checkpoint (ckpdb) and roll-forward (rollforwarddb) runs.
//
// Conventions:
// - Platform-free: no windows.h.
// - Builders write NUL-terminated text into caller-owned buffers of `size` bytes and return a
//   CommandStatus; on anything but Ok the buffer holds "" (never a cut command line: a cut
//   database name or option would run the utility on something else than was asked).
// - The options are the backup or restore option words of the begin calls; bits the runs do not
//   know are ignored.
// - No exceptions.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ferry::agent {

// Backup option bits that the checkpoint run reads.
inline constexpr uint32_t kCkpdbPurge = 0x20;
inline constexpr uint32_t kCkpdbEnableJournaling = 0x40;
inline constexpr uint32_t kCkpdbDisableJournaling = 0x80;
inline constexpr uint32_t kCkpdbVerbose = 0x100;

// Restore option bits that the roll-forward run reads.
inline constexpr uint32_t kRollNotFromJournals = 0x400;
inline constexpr uint32_t kRollEndTime = 0x800;
inline constexpr uint32_t kRollVerbose = 0x1000;

// The pieces of the roll-forward command line are built in buffers of their own: " #c" and the
// checkpoint id in 32 characters, " -e" and the end time in 40, NUL included.
inline constexpr size_t kCheckpointIdMaxLength = 28;
inline constexpr size_t kEndTimeMaxLength = 36;
// The ingsetenv command line's buffer, NUL included.
inline constexpr size_t kIngsetenvCommandSize = 1024;

enum class CommandStatus {
  Ok,
  TooLong,  // the whole line does not fit the buffer
  CheckpointIdTooLong,
  EndTimeTooLong,
};

// "\"<iiSystem>\ingres\bin\ckpdb\" <dbName>" then " -v" (0x100) and " -d" (0x20).
CommandStatus buildCkpdbCommand(const char* iiSystem, const char* dbName, uint32_t options,
                                char* out, size_t size);

// "\"<iiSystem>\ingres\bin\rollforwarddb\" <dbName> #c<checkpointId>" then " -v" (0x1000),
// " -e<endTime>" (0x800) and " -j" (0x400) or else " +j". `endTime` may be null without 0x800.
CommandStatus buildRollforwardCommand(const char* iiSystem, const char* dbName,
                                      const char* checkpointId, uint32_t options,
                                      const char* endTime, char* out, size_t size);

// "<shortRoot>\ingres\bin\ingsetenv II_CKTMPL_FILE \"<templatePath>\"".
CommandStatus buildIngsetenvCommand(const char* shortRoot, const char* templatePath, char* out,
                                    size_t size);

// "<agentDirectory>\<stem><installationCode><dbName>.out", stem "ckpdb", "ckpderr", "roll" or
// "rollerr".
bool buildUtilityOutputPath(const char* agentDirectory, const char* stem,
                            const char* installationCode, const char* dbName, char* out,
                            size_t size);

}  // namespace ferry::agent
