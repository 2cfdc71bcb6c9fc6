// The console's commands over a loaded agent. Each prints its results on standard output, its
// failures on standard error, and returns the exit code.
#pragma once

#include "agent_library.h"
#include "core/command_line.h"
#include "core/exit_code.h"

namespace ferry::ctl {

ExitCode runConnect(const AgentEntryPoints& agent, const ConnectArguments& arguments);
ExitCode runError(const AgentEntryPoints& agent, uint32_t code);

}  // namespace ferry::ctl
