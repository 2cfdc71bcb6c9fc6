// A reader of the parts of a Windows PE image that tell how it was built: the machine, the
// optional header's kind, the characteristics, the subsystem, the exported names and ordinals
// and the imported libraries. Platform-free, so that the native tree checks the Windows builds'
// files without running them.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace ferry::test {

struct PeImage {
  uint16_t machine = 0;          // 0x14C x86, 0x8664 x64
  uint16_t optionalMagic = 0;    // 0x10B PE32, 0x20B PE32+
  uint16_t characteristics = 0;  // IMAGE_FILE_* bits
  uint16_t subsystem = 0;        // 2 GUI, 3 console
  std::set<std::string> exportNames;
  std::set<uint32_t> ordinalOnlyExports;  // exports without a name, by ordinal
  std::vector<std::string> imports;       // library names as the image writes them
};

// "" and *image filled, or what is wrong with the file.
std::string readPeImage(const std::string& path, PeImage* image);

}  // namespace ferry::test
