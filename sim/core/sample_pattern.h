// The reproducible content of the simulator's sample files (database files, journals, dump and
// configuration copies). A file's bytes depend on its name and the offset only, so a test can
// check any byte of a copy without keeping the original, and a block written to the wrong offset
// or taken from another file shows up.
//
// The pattern is SplitMix64 over (seed of the name + offset / 8), eight bytes per step, which
// lets fillSample produce gigabytes at memory speed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ingsim::core {

// FNV-1a of the file name: the pattern's seed.
uint64_t sampleSeed(std::string_view name);
unsigned char sampleByteFromSeed(uint64_t seed, uint64_t offset);
// Fills buffer[0..size) with the bytes of the file at [offset, offset + size).
void fillSample(uint64_t seed, uint64_t offset, unsigned char* buffer, size_t size);

}  // namespace ingsim::core

namespace ingsim {

// The reproducible content of sample file `name` at byte `offset` (tests compare with it).
unsigned char sampleByte(const std::string& name, uint64_t offset);

}  // namespace ingsim
