// The machine-wide connection slot map, read as 32 unsigned 32-bit words: word n is 1 while
// connection id n is in use in any process. Word 0 is never used. Behind the words the map holds
// the owner of each slot, so that the ids of a host process that died without releasing them
// can be taken back.
//
// Layout (kSlotMapWithOwnersBytes): the 32 words (kSlotMapBytes), then 32 SlotOwner records,
// record n for word n. An agent that knows only the words uses the first kSlotMapBytes as they
// always were: its slots carry no owner (all zero) and are never reclaimed.
//
// Conventions: platform-free; callers hold whatever lock guards the map; no exceptions.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ferry::agent {

inline constexpr int kSlotCount = 32;
inline constexpr int kFirstConnectionId = 1;
inline constexpr int kLastConnectionId = 31;
inline constexpr size_t kSlotMapBytes = kSlotCount * sizeof(uint32_t);

// The process that took a slot: its id and its start time (the system's 64-bit creation time),
// which tells a process from a later one that was given the same id. All zero: none recorded.
struct SlotOwner {
  uint32_t processId;
  uint32_t reserved;
  uint64_t startTime;
};
static_assert(sizeof(SlotOwner) == 16);
static_assert(offsetof(SlotOwner, startTime) == 8);

inline constexpr size_t kSlotOwnersOffset = kSlotMapBytes;
inline constexpr size_t kSlotMapWithOwnersBytes = kSlotMapBytes + kSlotCount * sizeof(SlotOwner);

constexpr bool validConnectionId(int id) {
  return id >= kFirstConnectionId && id <= kLastConnectionId;
}

constexpr bool ownerRecorded(const SlotOwner& owner) { return owner.processId != 0; }

// Whether the recorded owner still runs; `context` is the caller's.
using OwnerAliveFn = bool (*)(const SlotOwner& owner, void* context);

// Frees every slot in use whose recorded owner is gone, and returns how many. Slots without a
// recorded owner are left as they are. `owners` may be null (a map without owners): nothing.
int reclaimAbandonedSlots(uint32_t* words, SlotOwner* owners, OwnerAliveFn alive, void* context);

// Marks the first free word among 1 to 31, records `owner` for it when `owners` is not null, and
// returns its index, or 0 when all are taken.
int takeFirstFreeSlot(uint32_t* words, SlotOwner* owners, const SlotOwner& owner);
int takeFirstFreeSlot(uint32_t* words);

// Frees slot `id` and forgets its owner (`owners` may be null).
void releaseSlot(uint32_t* words, SlotOwner* owners, int id);

}  // namespace ferry::agent
