// The command line is outside input: the parser and the instance key must stay inside argv's
// strings whatever they hold. The input is split at NUL bytes into arguments.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> args(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      args.emplace_back();
    } else {
      args.back().push_back(static_cast<char>(data[i]));
    }
  }
  std::vector<const char*> argv;
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  argv.push_back(nullptr);
  int argc = static_cast<int>(args.size());
  ferry::extractor::ParseResult result = ferry::extractor::parseCommandLine(argc, argv.data());
  if (result.error == ferry::extractor::ParseError::kNone) {
    if (result.line.path.size() > ferry::extractor::kMaxPathLength) __builtin_trap();
    if (result.line.ckpdbName.size() > ferry::extractor::kMaxCkpdbNameLength) __builtin_trap();
    if (result.line.job == ferry::extractor::Job::kNone) __builtin_trap();
  }
  ferry::extractor::agentInstanceKey(argc, argv.data());
  return 0;
}
