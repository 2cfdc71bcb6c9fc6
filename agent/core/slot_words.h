// The machine-wide connection slot map, read as 32 unsigned 32-bit words: word n is 1 while
// connection id n is in use in any process. Word 0 is never used.
//
// Conventions: platform-free; callers hold whatever lock guards the words; no exceptions.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ferry::agent {

inline constexpr int kSlotCount = 32;
inline constexpr int kFirstConnectionId = 1;
inline constexpr int kLastConnectionId = 31;
inline constexpr size_t kSlotMapBytes = kSlotCount * sizeof(uint32_t);

constexpr bool validConnectionId(int id) {
  return id >= kFirstConnectionId && id <= kLastConnectionId;
}

// Marks the first free word among 1 to 31 and returns its index, or 0 when all are taken.
int takeFirstFreeSlot(uint32_t* words);

}  // namespace ferry::agent
