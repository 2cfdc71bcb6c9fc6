#include "command_line.h"

#include <cstdio>
#include <cstring>

#include "oidb_msg.h"

namespace ferry::extractor {
namespace {

constexpr char kModule[] = "siphon";
constexpr char kFunction[] = "main";

template <typename... Args>
std::string format(const char* fmt, Args... args) {
  char buffer[1024];
  std::snprintf(buffer, sizeof buffer, fmt, args...);
  return buffer;
}

struct ValueOption {
  const char* word;
  std::string CommandLine::*field;
  size_t limit;
};

constexpr ValueOption kValueOptions[] = {
    {"-P", &CommandLine::path, kMaxPathLength},
    {"-C", &CommandLine::ckpdbName, kMaxCkpdbNameLength},
    // A -T word of any length is taken: one longer than the known words selects no job, and the
    // template's own "_partial" words are longer than the buffer the limit was made for.
    {"-T", &CommandLine::jobType, static_cast<size_t>(-1)},
    {"-N", &CommandLine::pipeName, kMaxPipeNameLength},
};

std::string traceOfValue(const char* word, const std::string& value) {
  switch (word[1]) {
    case 'P':
      return format("%s: **** Path = %s", kFunction, value.c_str());
    case 'C':
      return format("%s: **** Ckpdb_name = %s", kFunction, value.c_str());
    case 'T':
      return format("job type= %s", value.c_str());
    default:
      return format("pipename is: %s", value.c_str());
  }
}

ParseResult fail(ParseResult result, ParseError error, std::string trace) {
  result.error = error;
  result.traces.push_back(std::move(trace));
  return result;
}

}  // namespace

Job jobForType(std::string_view word, Job current) {
  if (word == "db_backup") return Job::kBackup;
  if (word == "db_restore") return Job::kRestore;
  if (word == "dump_restore") return Job::kDumpRestore;
  if (word == "table_backup") return current;
  return Job::kNone;
}

ParseResult parseCommandLine(int argc, const char* const* argv) {
  ParseResult result;
  if (argc < kMinArgumentCount || argv == nullptr) {
    return fail(std::move(result), ParseError::kTooFewArguments,
                format("Error : %s-%s() : Too few arguments (%d).", kModule, kFunction,
                       argc > 0 ? argc - 1 : 0));
  }
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i] ? argv[i] : "";
    if (std::strcmp(arg, "-D") == 0) {
      result.line.debug = true;
      continue;
    }
    const ValueOption* option = nullptr;
    for (const ValueOption& candidate : kValueOptions) {
      if (std::strcmp(arg, candidate.word) == 0) option = &candidate;
    }
    if (option == nullptr) {
      return fail(std::move(result), ParseError::kInvalidOption,
                  format("Error : %s-%s() : Invalid options.", kModule, kFunction));
    }
    if (i + 1 >= argc || argv[i + 1] == nullptr) {
      return fail(std::move(result), ParseError::kMissingValue,
                  format("Error : %s-%s() : Option %s takes a value.", kModule, kFunction, arg));
    }
    std::string_view value = argv[++i];
    if (value.size() > option->limit) {
      return fail(std::move(result), ParseError::kValueTooLong,
                  format("Error : %s-%s() : Value of %s is longer than %d characters.", kModule,
                         kFunction, arg, static_cast<int>(option->limit)));
    }
    std::string& field = result.line.*(option->field);
    field.assign(value);
    result.traces.push_back(traceOfValue(option->word, field));
    if (option->word[1] == 'T') result.line.job = jobForType(value, result.line.job);
  }
  if (result.line.job == Job::kNone) {
    return fail(std::move(result), ParseError::kNoJob,
                format("%s: Error: No command specified or invalid command command specified.  "
                       "abort.",
                       argv[0] ? argv[0] : ""));
  }
  // Without -P a backup would list the current drive's root and a restore would ask for it;
  // without -N there is no pipe to meet the agent on.
  const char* missing = result.line.pipeName.empty() ? "-N"
                        : result.line.path.empty() && result.line.job != Job::kDumpRestore
                            ? "-P"
                            : nullptr;
  if (missing != nullptr) {
    return fail(std::move(result), ParseError::kMissingOption,
                format("Error : %s-%s() : Option %s is missing.", kModule, kFunction, missing));
  }
  // The restore request is "<path>\*", which must fit the record's ObjectName.
  if (result.line.job == Job::kRestore && !fitsObjectName(restoreRequestName(result.line))) {
    return fail(std::move(result), ParseError::kValueTooLong,
                format("Error : %s-%s() : Value of -P is longer than %d characters.", kModule,
                       kFunction, static_cast<int>(kMaxObjectNameLength - 2)));
  }
  return result;
}

std::string restoreRequestName(const CommandLine& line) {
  if (line.job == Job::kDumpRestore) return kDumpPlaceholder;
  return line.path + "\\*";
}

std::string fileEntryPath(std::string_view path, std::string_view entry) {
  std::string full;
  full.reserve(path.size() + 1 + entry.size());
  full.append(path).append("\\").append(entry);
  return full;
}

std::string agentInstanceKey(int argc, const char* const* argv) {
  std::string key = "ferryman@";
  if (argv == nullptr) return key;
  const char* source = nullptr;
  if (argc >= kMinArgumentCount) {
    source = argv[8];
  } else {
    for (int i = 1; i + 1 < argc; ++i) {
      if (argv[i] && std::strcmp(argv[i], "-N") == 0) source = argv[i + 1];
    }
  }
  if (source == nullptr) return key;
  // Only the characters that exist: a short argument must not be read past its NUL.
  size_t length = strnlen(source, kExtractorPipePrefixLength + 2);
  for (size_t at = kExtractorPipePrefixLength; at < length; ++at) key.push_back(source[at]);
  return key;
}

bool traceDirectoryFromDll(std::string_view dll, bool (*isLeadByte)(unsigned char),
                           std::string* directory) {
  // Walk forward: only a forward walk knows which bytes are trail bytes of a double-byte pair.
  size_t last = std::string_view::npos;
  for (size_t at = 0; at < dll.size(); ++at) {
    unsigned char byte = static_cast<unsigned char>(dll[at]);
    if (isLeadByte != nullptr && isLeadByte(byte) && at + 1 < dll.size()) {
      ++at;
      continue;
    }
    if (byte == '\\') last = at;
  }
  if (last == std::string_view::npos || last == 0) return false;
  if (directory != nullptr) directory->assign(dll.substr(0, last));
  return true;
}

}  // namespace ferry::extractor
