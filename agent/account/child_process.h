// Starting a utility: as the connection's account when it has a token, else as the agent, and
// with exactly the handles it is meant to have. A child inherits only the handles named here (its
// output files); every other handle of the agent (its pipes, other connections' files) is
// non-inheritable and is kept out by the handle list as well.
//
// The named handles themselves stay non-inheritable: the child gets inheritable copies of them,
// made for it alone and closed once it has started, so that a process another thread starts in
// the meantime inherits none of them. Where that list cannot be built the child is not started at
// all (never with whatever happens to be inheritable in the process).
#pragma once

#include <windows.h>

#include <initializer_list>

#include "connection/connection_record.h"
#include "ferryman.h"

namespace ferry::agent {

// What startChildProcess returns when the child's handle list could not be built: a code of
// the application's own (bit 29), never a system error.
inline constexpr DWORD kChildHandlesNotListed = 0x20000000u | DSA_ERROR_CHILD_HANDLES;

// Starts `commandLine` with `startup` (its standard handles among `inherited`, or none at all).
// 0, kChildHandlesNotListed (traced and logged for `ci`) or the system error; *process is
// filled on success only.
DWORD startChildProcess(ConnectionRecord* ci, HANDLE token, char* commandLine,
                        const STARTUPINFOA& startup, std::initializer_list<HANDLE> inherited,
                        PROCESS_INFORMATION* process);

// The result code of a failed start: DSA_ERROR_CHILD_HANDLES for kChildHandlesNotListed, else
// 10000 + the system error.
DWORD childStartResult(DWORD error);

}  // namespace ferry::agent
