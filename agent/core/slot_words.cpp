#include "slot_words.h"

namespace ferry::agent {

int reclaimAbandonedSlots(uint32_t* words, SlotOwner* owners, OwnerAliveFn alive, void* context) {
  if (owners == nullptr) return 0;
  int reclaimed = 0;
  for (int id = kFirstConnectionId; id <= kLastConnectionId; ++id) {
    if (words[id] == 0 || !ownerRecorded(owners[id]) || alive(owners[id], context)) continue;
    releaseSlot(words, owners, id);
    ++reclaimed;
  }
  return reclaimed;
}

int takeFirstFreeSlot(uint32_t* words, SlotOwner* owners, const SlotOwner& owner) {
  for (int id = kFirstConnectionId; id <= kLastConnectionId; ++id) {
    if (words[id] == 0) {
      words[id] = 1;
      if (owners != nullptr) owners[id] = owner;
      return id;
    }
  }
  return 0;
}

int takeFirstFreeSlot(uint32_t* words) { return takeFirstFreeSlot(words, nullptr, SlotOwner{}); }

void releaseSlot(uint32_t* words, SlotOwner* owners, int id) {
  if (!validConnectionId(id)) return;
  words[id] = 0;
  if (owners != nullptr) owners[id] = SlotOwner{};
}

}  // namespace ferry::agent
