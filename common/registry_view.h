// Which view of the registry's HKEY_LOCAL_MACHINE\SOFTWARE a process of this build reads.
//
// A 32-bit process on 64-bit Windows is shown SOFTWARE through WOW6432Node (the 32-bit view),
// where a 32-bit Ingres installation registers its key and the x86 setup writes the agent's
// key; a 64-bit process reads the 64-bit view. Each build reads its own view on purpose (the
// libraries it loads from there are of its own bitness): the agent names the view in its trace.
#pragma once

#include <windows.h>

namespace ferry {

// "64-bit", "32-bit (WOW6432Node)" on 64-bit Windows, "32-bit" on 32-bit Windows.
inline const char* registryViewName() {
#if defined(_WIN64)
  return "64-bit";
#else
  BOOL wow64 = FALSE;
  if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64) return "32-bit (WOW6432Node)";
  return "32-bit";
#endif
}

}  // namespace ferry
