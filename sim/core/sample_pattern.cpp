#include "core/sample_pattern.h"

namespace ingsim::core {
namespace {

uint64_t splitMix(uint64_t x) {
  x += 0x9e3779b97f4a7c15ull;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
  return x ^ (x >> 31);
}

// Byte i of a word, least significant first, independent of the host's byte order.
unsigned char wordByte(uint64_t word, unsigned i) {
  return static_cast<unsigned char>(word >> (8 * i));
}

}  // namespace

uint64_t sampleSeed(std::string_view name) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (char c : name) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ull;
  }
  return hash;
}

unsigned char sampleByteFromSeed(uint64_t seed, uint64_t offset) {
  return wordByte(splitMix(seed + (offset >> 3)), static_cast<unsigned>(offset & 7));
}

void fillSample(uint64_t seed, uint64_t offset, unsigned char* buffer, size_t size) {
  size_t done = 0;
  // Leading bytes up to a word boundary of the file.
  while (done < size && ((offset + done) & 7) != 0) {
    buffer[done] = sampleByteFromSeed(seed, offset + done);
    ++done;
  }
  uint64_t word = (offset + done) >> 3;
  while (size - done >= 8) {
    uint64_t value = splitMix(seed + word++);
    for (unsigned i = 0; i < 8; ++i) buffer[done + i] = wordByte(value, i);
    done += 8;
  }
  while (done < size) {
    buffer[done] = sampleByteFromSeed(seed, offset + done);
    ++done;
  }
}

}  // namespace ingsim::core

namespace ingsim {

unsigned char sampleByte(const std::string& name, uint64_t offset) {
  return core::sampleByteFromSeed(core::sampleSeed(name), offset);
}

}  // namespace ingsim
