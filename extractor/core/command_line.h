// siphon's command line: the options the checkpoint template's work lines pass, the agent
// instance key taken from them, and the trace lines the walk over the options produces.
//
// Conventions:
// - Platform-free (no windows.h), no exceptions. The parser only reads argv.
// - The command line is outside input: every value is checked against the size of the buffer it
//   is held in, and a line that cannot be run is rejected as a whole before any pipe is opened.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace ferry::extractor {

enum class Job { kNone = 0, kBackup = 1, kRestore = 2, kDumpRestore = 3 };

// Longest values, in characters: what the record fields and the run's buffers hold.
inline constexpr size_t kMaxPathLength = 255;
inline constexpr size_t kMaxCkpdbNameLength = 79;
inline constexpr size_t kMaxPipeNameLength = 255;

// The instance key is formed from the eighth argument after the program name, so a runnable
// command line has at least nine arguments in all.
inline constexpr int kMinArgumentCount = 9;

enum class ParseError {
  kNone,
  kTooFewArguments,
  kInvalidOption,  // an argument that is none of -P, -C, -T, -N, -D
  kMissingValue,   // a value-taking option as the last argument
  kValueTooLong,   // a value longer than its limit, or a restore pattern that would not fit
  kMissingOption,  // a job without the -P or -N it needs
  kNoJob,          // no job type, or one that selects no job
};

struct CommandLine {
  std::string path;       // -P: location directory
  std::string ckpdbName;  // -C: checkpoint file name
  std::string jobType;    // -T: the last job type word
  std::string pipeName;   // -N: full extractor pipe name
  bool debug = false;     // -D: accepted, read by nothing
  Job job = Job::kNone;
};

struct ParseResult {
  ParseError error = ParseError::kNone;
  CommandLine line;
  // The trace lines of the walk, in order, the error's line last.
  std::vector<std::string> traces;
};

// The job a -T word selects; "table_backup" and unknown words leave `current` or clear it as
// the run's rules say ("table_backup" keeps the current job, anything else unknown clears it).
Job jobForType(std::string_view word, Job current);

ParseResult parseCommandLine(int argc, const char* const* argv);

// The restore request's ObjectName: the dump placeholder for a dump restore, else
// "<path>\*".
std::string restoreRequestName(const CommandLine& line);

// The ObjectName of one backed-up entry: "<path>\<entry>".
std::string fileEntryPath(std::string_view path, std::string_view entry);

// "ferryman@" followed by the characters at positions 12 and 13 of the eighth argument after
// the program name (the installation code's start when that argument is the pipe name). A
// shorter argument gives the characters that exist. With fewer arguments the -N value, where
// one is given, stands in, so that a rejected short command line can still be traced.
std::string agentInstanceKey(int argc, const char* const* argv);

// The trace directory from the "dll" setting: the text before the last backslash. False when
// the text is empty or has no backslash after its first byte. A byte that `isLeadByte` calls a
// double-byte lead takes the next byte with it, so a trail byte equal to '\' is not a
// separator.
bool traceDirectoryFromDll(std::string_view dll, bool (*isLeadByte)(unsigned char),
                           std::string* directory);

}  // namespace ferry::extractor
