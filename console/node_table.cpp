#include "node_table.h"

#include <cstdint>
#include <vector>

namespace lookout::node_table {
namespace {

struct Slot {
  Node* node = nullptr;
  uint32_t generation = 1;
};

// Nodes are made and destroyed on the console's thread, but two consoles (two apartments) of
// one process share the table.
SRWLOCK lock = SRWLOCK_INIT;
std::vector<Slot>& slots() {
  static std::vector<Slot> table;
  return table;
}
std::vector<uint32_t>& freeSlots() {
  static std::vector<uint32_t> list;
  return list;
}

// Generations stay below 2^31 so that a cookie is never negative.
constexpr uint32_t kLastGeneration = 0x7FFFFFFF;

MMC_COOKIE cookieOf(uint32_t slot, uint32_t generation) {
  return static_cast<MMC_COOKIE>((static_cast<uint64_t>(generation) << 32) | (slot + 1ULL));
}

}  // namespace

MMC_COOKIE add(Node* node) {
  AcquireSRWLockExclusive(&lock);
  uint32_t slot;
  if (!freeSlots().empty()) {
    slot = freeSlots().back();
    freeSlots().pop_back();
  } else {
    slot = static_cast<uint32_t>(slots().size());
    slots().emplace_back();
  }
  slots()[slot].node = node;
  MMC_COOKIE cookie = cookieOf(slot, slots()[slot].generation);
  ReleaseSRWLockExclusive(&lock);
  return cookie;
}

void remove(MMC_COOKIE cookie) {
  const uint64_t value = static_cast<uint64_t>(cookie);
  const uint64_t slot = (value & 0xFFFFFFFFULL) - 1;
  AcquireSRWLockExclusive(&lock);
  if (slot < slots().size() && slots()[slot].generation == (value >> 32)) {
    Slot& entry = slots()[slot];
    entry.node = nullptr;
    entry.generation = entry.generation == kLastGeneration ? 1 : entry.generation + 1;
    freeSlots().push_back(static_cast<uint32_t>(slot));
  }
  ReleaseSRWLockExclusive(&lock);
}

Node* find(MMC_COOKIE cookie) {
  const uint64_t value = static_cast<uint64_t>(cookie);
  const uint64_t slot = (value & 0xFFFFFFFFULL) - 1;  // cookie 0 wraps to a slot that is not
  Node* node = nullptr;
  AcquireSRWLockShared(&lock);
  if (slot < slots().size() && slots()[slot].generation == (value >> 32)) {
    node = slots()[slot].node;
  }
  ReleaseSRWLockShared(&lock);
  return node;
}

}  // namespace lookout::node_table
