// Command lines and file names of the Ingres utilities the agent starts: the checkpoint (ckpdb)
// and roll-forward (rollforwarddb) runs, the captured runs of infodb and ingprenv, and ingsetenv
// and ingunset, which record and clear the agent's template.
//
// Conventions:
// - The program's path is always quoted, so that an installation below a folder with a blank
//   in its name runs the right program.
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

// "\"<shortRoot>\ingres\bin\ingsetenv\" II_CKTMPL_FILE \"<templatePath>\"".
CommandStatus buildIngsetenvCommand(const char* shortRoot, const char* templatePath, char* out,
                                    size_t size);

// "\"<shortRoot>\ingres\bin\ingunset\" II_CKTMPL_FILE".
CommandStatus buildIngunsetCommand(const char* shortRoot, char* out, size_t size);

// "\"<iiSystem>\ingres\bin\infodb\" <dbName>": the database's report (journal sequence).
CommandStatus buildInfodbCommand(const char* iiSystem, const char* dbName, char* out, size_t size);

// "\"<iiSystem>\ingres\bin\infodb\" -u<loginName>": the databases the login may see.
CommandStatus buildInfodbListCommand(const char* iiSystem, const char* loginName, char* out,
                                     size_t size);

// "\"<iiSystem>\ingres\bin\ingprenv\"", then a blank and `name` when `name` is not null: every
// installation variable, or the value of one.
CommandStatus buildIngprenvCommand(const char* iiSystem, const char* name, char* out, size_t size);

// "<directory>\<stem><installationCode><dbName>.out": the output files of the utility runs
// (stems "ckpdb", "ckpderr", "roll", "rollerr", "env", "ingprenv", "infodb"). An empty
// directory gives a path on the root of the current drive; `dbName` may be empty. False (and
// "") when the path would not fit.
bool buildUtilityOutputPath(const char* agentDirectory, const char* stem,
                            const char* installationCode, const char* dbName, char* out,
                            size_t size);

// "<directory>\<stem><installationCode><dbName>-<processId>-<sequence>.out": the output file of
// one captured utility run (stems "env", "ingprenv", "infodb"), a name that no other run of
// this or another process uses. False (and "") when the path would not fit.
bool buildCapturedOutputPath(const char* agentDirectory, const char* stem,
                             const char* installationCode, const char* dbName, uint32_t processId,
                             uint32_t sequence, char* out, size_t size);

}  // namespace ferry::agent
