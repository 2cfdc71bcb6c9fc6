#include "core/sample_pattern.h"

#include <gtest/gtest.h>

#include <vector>

namespace ingsim::core {
namespace {

TEST(SamplePattern, BlockFillMatchesBytewise) {
  const uint64_t seed = sampleSeed("aaaaaaab.t00");
  // Unaligned starts and lengths around the 8-byte steps, and an offset past 4 GiB.
  for (uint64_t offset : {0ull, 1ull, 7ull, 8ull, 13ull, (5ull << 30) + 3}) {
    for (size_t length : {0u, 1u, 7u, 8u, 9u, 31u}) {
      std::vector<unsigned char> block(length + 2, 0xbd);
      fillSample(seed, offset, block.data(), length);
      for (size_t i = 0; i < length; ++i) {
        ASSERT_EQ(block[i], sampleByte("aaaaaaab.t00", offset + i))
            << "offset " << offset << " length " << length << " byte " << i;
      }
      EXPECT_EQ(block[length], 0xbd) << "wrote past the block at offset " << offset;
      EXPECT_EQ(block[length + 1], 0xbd);
    }
  }
}

TEST(SamplePattern, DependsOnNameAndOffset) {
  int sameAcrossNames = 0, sameAcrossBlocks = 0;
  for (uint64_t i = 0; i < 4096; ++i) {
    sameAcrossNames += sampleByte("j0000001.jnl", i) == sampleByte("j0000002.jnl", i);
    sameAcrossBlocks += sampleByte("j0000001.jnl", i) == sampleByte("j0000001.jnl", i + 65536);
  }
  // Unrelated bytes agree about once in 256.
  EXPECT_LT(sameAcrossNames, 64) << "files of different names look alike";
  EXPECT_LT(sameAcrossBlocks, 64) << "blocks at different offsets look alike";
}

}  // namespace
}  // namespace ingsim::core
