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

TEST(SlotWords, ValidIds) {
  EXPECT_FALSE(validConnectionId(0));
  EXPECT_TRUE(validConnectionId(1));
  EXPECT_TRUE(validConnectionId(31));
  EXPECT_FALSE(validConnectionId(32));
  EXPECT_FALSE(validConnectionId(-1));
}

}  // namespace
}  // namespace ferry::agent
