// An export of an agent copy, bound by name (null when the library lacks it).
#pragma once

#include <windows.h>

namespace ferry::test {

template <typename Fn>
Fn bound(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace ferry::test
