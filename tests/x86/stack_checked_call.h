// Calls a 32-bit export the way a host does, and tells what the call did to the host's stack.
#pragma once

#include <cstdint>

extern "C" {

// What stackCheckedCall saw right after the call returned.
struct StackReport {
  // The stack pointer after the call less the one before the arguments were pushed: 0 when the
  // callee removed its arguments (__stdcall), minus their bytes when it left them (cdecl).
  int32_t stackDelta;
  // The callee-saved registers, loaded with marker values before the call.
  uint32_t ebx, esi, edi;
};

inline constexpr uint32_t kMarkerEbx = 0x5EB5EB5E;
inline constexpr uint32_t kMarkerEsi = 0x51515151;
inline constexpr uint32_t kMarkerEdi = 0xD1D1D1D1;

// Pushes args[count - 1] .. args[0], calls `function`, records *report and puts the stack back
// where it was, whatever the callee did. Returns the callee's EAX.
uint32_t stackCheckedCall(const void* function, const uint32_t* args, uint32_t count,
                          StackReport* report);
}
