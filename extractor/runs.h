// siphon's two runs: hand a location's entries to the agent (backup), or ask the agent to fill
// a location (restore), then wait for the agent's release record.
//
// Conventions: each run returns the process exit code: 0 after the release record (or a read
// error), a system error code when the listing or the pipe cannot be started.
#pragma once

#include "command_line.h"

namespace ferry::extractor {

int runBackup(const CommandLine& line);
int runRestore(const CommandLine& line);

}  // namespace ferry::extractor
