// The conversions of system errors into the agent's result codes (ferryman.h): one for Windows
// errors, one for the C runtime's errno. No windows.h: the Windows error numbers the errno
// conversion gives are written out.
#pragma once

#include <cstdint>

#include "ferryman.h"

namespace ferry::agent {

// 10000 + the Windows system error, the interface's convention for every system failure.
constexpr uint32_t resultFromWin32(uint32_t error) { return DSA_SYSTEM_ERROR_BASE + error; }

// 10000 + the Windows error that the C runtime's `errnoValue` stands for (ENOENT: file not
// found, EACCES: access denied, ...); 10000 itself for 0 (no error was recorded), and 10000 +
// ERROR_GEN_FAILURE for a value without a counterpart. Never a bare errno, which would read as
// one of the agent's own codes.
uint32_t resultFromErrno(int errnoValue);

}  // namespace ferry::agent
