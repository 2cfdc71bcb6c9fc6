// siphon.exe: started by the checkpoint and roll-forward utilities once per database location,
// it meets the agent on the extractor pipe and exits when the agent releases it. It writes
// nothing to the console; what it reports goes to its trace file and its exit code.
#include <windows.h>

#include <string>

#include "command_line.h"
#include "runs.h"
#include "trace.h"

int main(int argc, char** argv) {
  using namespace ferry::extractor;
  // The key comes before the options are parsed: it decides whether the parse is traced.
  std::string instanceKey = agentInstanceKey(argc, argv);
  OutputDebugStringA(instanceKey.c_str());
  setTraceInstance(instanceKey);
  trace("Module siphon Entered");

  ParseResult parsed = parseCommandLine(argc, argv);
  for (const std::string& line : parsed.traces) trace("%s", line.c_str());
  if (parsed.error != ParseError::kNone) return 1;

  switch (parsed.line.job) {
    case Job::kBackup:
      return runBackup(parsed.line);
    case Job::kRestore:
    case Job::kDumpRestore:
      return runRestore(parsed.line);
    case Job::kNone:
      break;
  }
  return 1;
}
