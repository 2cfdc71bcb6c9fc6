// Starting a utility: as the connection's account when it has a token, else as the agent, and
// with exactly the handles it is meant to have. A child inherits only the handles named here (its
// output files); every other handle of the agent (its pipes, other connections' files) is
// non-inheritable and is kept out by the handle list as well.
#pragma once

#include <windows.h>

#include <initializer_list>

#include "connection/connection_record.h"

namespace ferry::agent {

// Starts `commandLine` with `startup` (its standard handles among `inherited`, or none at all).
// 0 or the system error; *process is filled on success.
DWORD startChildProcess(HANDLE token, char* commandLine, const STARTUPINFOA& startup,
                        std::initializer_list<HANDLE> inherited, PROCESS_INFORMATION* process);

}  // namespace ferry::agent
