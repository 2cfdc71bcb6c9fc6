// The product's registry root below HKEY_LOCAL_MACHINE.
//
// Conventions:
// - basetool.dll hands the root out through its export by ordinal kRegistryRootOrdinal:
//   int GetProductRegistryRoot(char* buffer, unsigned long size) writes the NUL-terminated root
//   and returns 1; with a null buffer or a `size` too small for the text and its NUL it returns 0
//   and writes nothing.
// - Readers that cannot load basetool.dll use kProductRegistryRoot, the same text, so that both
//   paths agree.
// - Platform-free: no windows.h.
#pragma once

namespace ferry {

inline constexpr char kProductRegistryRoot[] = "SOFTWARE\\Norvane\\Halyard Tidewell";
inline constexpr unsigned kRegistryRootOrdinal = 1261;
// The buffer size the agent and the extractor hand to the ordinal.
inline constexpr unsigned long kRegistryRootBufferSize = 260;

#if defined(_WIN32)
#define FERRY_REGISTRY_ROOT_CALL __stdcall
#else
#define FERRY_REGISTRY_ROOT_CALL
#endif
// The type of basetool's ordinal: callers cast GetProcAddress's result to it.
using GetProductRegistryRootFn = int(FERRY_REGISTRY_ROOT_CALL*)(char* buffer, unsigned long size);

}  // namespace ferry
