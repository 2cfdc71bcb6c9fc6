// libFuzzer target: the command lines of the utilities, built from any root and argument
// (split at the first NUL). A line is either whole, with the program's path quoted and the
// argument as given, or refused and empty: never cut.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/checkpoint_template.h"
#include "core/utility_command.h"

namespace {

void expectWhole(ferry::agent::CommandStatus status, const char* line, const std::string& root,
                 const std::string& argument) {
  const std::string text = line;
  if (status != ferry::agent::CommandStatus::Ok) {
    if (!text.empty()) std::abort();
    return;
  }
  if (text.rfind("\"" + root + "\\ingres\\bin\\", 0) != 0) std::abort();
  if (text.size() < argument.size() ||
      text.compare(text.size() - argument.size(), argument.size(), argument) != 0) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ferry::agent;
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find('\0');
  const std::string root = input.substr(0, split);
  const std::string argument =
      split == std::string::npos ? std::string() : input.substr(split + 1).c_str();
  char line[kUtilityCommandLineSize];
  expectWhole(buildInfodbCommand(root.c_str(), argument.c_str(), line, sizeof line), line, root,
              " " + argument);
  expectWhole(buildInfodbListCommand(root.c_str(), argument.c_str(), line, sizeof line), line, root,
              " -u" + argument);
  expectWhole(buildIngprenvCommand(root.c_str(), argument.c_str(), line, sizeof line), line, root,
              " " + argument);
  expectWhole(buildIngunsetCommand(root.c_str(), line, sizeof line), line, root, " II_CKTMPL_FILE");
  char setenv[kIngsetenvCommandSize];
  expectWhole(buildIngsetenvCommand(root.c_str(), argument.c_str(), setenv, sizeof setenv), setenv,
              root, " II_CKTMPL_FILE \"" + argument + "\"");
  expectWhole(buildCkpdbCommand(root.c_str(), argument.c_str(), 0x120, line, sizeof line), line,
              root, " " + argument + " -v -d");
  return 0;
}
