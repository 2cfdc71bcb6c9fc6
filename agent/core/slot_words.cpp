#include "slot_words.h"

namespace ferry::agent {

int takeFirstFreeSlot(uint32_t* words) {
  for (int id = kFirstConnectionId; id <= kLastConnectionId; ++id) {
    if (words[id] == 0) {
      words[id] = 1;
      return id;
    }
  }
  return 0;
}

}  // namespace ferry::agent
