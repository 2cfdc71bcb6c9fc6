// The slot-map words: ids 1 to 31 handed out in order, word 0 never used, no word past 31.
#include "core/slot_words.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace ferry::agent {
namespace {

TEST(SlotWords, FirstFreeAmongOneToThirtyOne) {
  uint32_t words[kSlotCount + 2] = {};
  words[kSlotCount] = 0xbdbdbdbd;  // guard after the map
  words[kSlotCount + 1] = 0xbdbdbdbd;
  for (int expected = 1; expected <= 31; ++expected) {
    ASSERT_EQ(takeFirstFreeSlot(words), expected);
  }
  EXPECT_EQ(takeFirstFreeSlot(words), 0) << "the 32nd is refused";
  EXPECT_EQ(words[0], 0u) << "word 0 is never used";
  EXPECT_EQ(words[kSlotCount], 0xbdbdbdbdu);
  EXPECT_EQ(words[kSlotCount + 1], 0xbdbdbdbdu);

  words[17] = 0;
  words[4] = 0;
  EXPECT_EQ(takeFirstFreeSlot(words), 4) << "the lowest free id is reused first";
  EXPECT_EQ(takeFirstFreeSlot(words), 17);
  EXPECT_EQ(words[4], 1u);
}

TEST(SlotWords, SlotsOfOwnersThatAreGoneAreReclaimed) {
  uint32_t words[kSlotCount] = {};
  SlotOwner owners[kSlotCount + 1] = {};
  owners[kSlotCount] = {0xbdbdbdbd, 0xbdbdbdbd, 0xbdbdbdbdbdbdbdbdull};  // guard after the map
  const SlotOwner live{100, 0, 5000};
  const SlotOwner dead{200, 0, 6000};
  // The liveness oracle: only process 100 started at 5000 runs.
  auto alive = [](const SlotOwner& owner, void* context) {
    ++*static_cast<int*>(context);
    return owner.processId == 100 && owner.startTime == 5000;
  };
  int asked = 0;

  EXPECT_EQ(takeFirstFreeSlot(words, owners, live), 1);
  EXPECT_EQ(takeFirstFreeSlot(words, owners, dead), 2);
  EXPECT_EQ(takeFirstFreeSlot(words, owners, dead), 3);
  EXPECT_EQ(owners[2].processId, 200u);
  EXPECT_EQ(owners[2].startTime, 6000u);
  words[4] = 1;                          // taken by an agent that records no owner
  const SlotOwner reused{100, 0, 7000};  // process id 100 again, but a later process
  EXPECT_EQ(takeFirstFreeSlot(words, owners, reused), 5);

  EXPECT_EQ(reclaimAbandonedSlots(words, owners, alive, &asked), 3) << "slots 2, 3 and 5";
  EXPECT_EQ(asked, 4) << "asked for every recorded owner, not for slot 4";
  for (int id : {2, 3, 5}) {
    EXPECT_EQ(words[id], 0u) << id;
    EXPECT_FALSE(ownerRecorded(owners[id])) << id;
    EXPECT_EQ(owners[id].startTime, 0u) << id;
  }
  EXPECT_EQ(words[1], 1u) << "the live owner keeps its slot";
  EXPECT_EQ(words[4], 1u) << "a slot without an owner is never reclaimed";
  EXPECT_EQ(takeFirstFreeSlot(words, owners, live), 2) << "a reclaimed id is handed out again";

  releaseSlot(words, owners, 1);
  EXPECT_EQ(words[1], 0u);
  EXPECT_FALSE(ownerRecorded(owners[1]));
  releaseSlot(words, owners, 32);  // outside the map: nothing
  releaseSlot(words, owners, 0);
  EXPECT_EQ(owners[kSlotCount].processId, 0xbdbdbdbdu);
  EXPECT_EQ(owners[kSlotCount].startTime, 0xbdbdbdbdbdbdbdbdull);

  SCOPED_TRACE("a map without owners (made by an agent that records none)");
  asked = 0;
  EXPECT_EQ(reclaimAbandonedSlots(words, nullptr, alive, &asked), 0);
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(takeFirstFreeSlot(words, nullptr, dead), 1);
}

TEST(SlotWords, ValidIds) {
  EXPECT_FALSE(validConnectionId(0));
  EXPECT_TRUE(validConnectionId(1));
  EXPECT_TRUE(validConnectionId(31));
  EXPECT_FALSE(validConnectionId(32));
  EXPECT_FALSE(validConnectionId(-1));
}

}  // namespace
}  // namespace ferry::agent
