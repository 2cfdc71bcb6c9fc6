// basetool.dll, as far as the database agent uses it: the product's registry root.
#include <windows.h>

#include <cstring>
#include <type_traits>

#include "registry_root.h"

extern "C" int __stdcall GetProductRegistryRoot(char* buffer, unsigned long size) {
  constexpr unsigned long needed = sizeof ferry::kProductRegistryRoot;  // NUL included
  // All or nothing: a caller that gets 0 must find its buffer exactly as it left it.
  if (buffer == nullptr || size < needed) return 0;
  std::memcpy(buffer, ferry::kProductRegistryRoot, needed);
  return 1;
}

static_assert(sizeof(unsigned long) == sizeof(DWORD), "the size parameter is a DWORD");
static_assert(std::is_same_v<decltype(&GetProductRegistryRoot), ferry::GetProductRegistryRootFn>,
              "the export must match the type callers cast it to");
