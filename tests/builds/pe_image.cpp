#include "pe_image.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace ferry::test {
namespace {

class Bytes {
 public:
  explicit Bytes(std::vector<uint8_t> data) : data_(std::move(data)) {}
  bool has(uint64_t offset, uint64_t size) const {
    return offset <= data_.size() && size <= data_.size() - offset;
  }
  uint16_t u16(uint64_t offset) const {
    return has(offset, 2) ? static_cast<uint16_t>(data_[offset] | data_[offset + 1] << 8) : 0;
  }
  uint32_t u32(uint64_t offset) const {
    return has(offset, 4) ? static_cast<uint32_t>(u16(offset) | uint32_t{u16(offset + 2)} << 16)
                          : 0;
  }
  // The NUL-terminated text at `offset`; false when it runs past the file.
  bool text(uint64_t offset, std::string* out) const {
    out->clear();
    for (uint64_t i = offset; i < data_.size(); ++i) {
      if (data_[i] == 0) return true;
      out->push_back(static_cast<char>(data_[i]));
    }
    return false;
  }

 private:
  std::vector<uint8_t> data_;
};

struct Section {
  uint32_t rva, size, fileOffset, fileSize;
};

class Image {
 public:
  Image(const Bytes& bytes, std::vector<Section> sections)
      : bytes_(bytes), sections_(std::move(sections)) {}
  // The file offset of `rva`, or ~0 when no section holds it.
  uint64_t offset(uint32_t rva) const {
    for (const Section& s : sections_) {
      uint32_t extent = s.size > s.fileSize ? s.size : s.fileSize;
      if (rva >= s.rva && rva - s.rva < extent) {
        if (rva - s.rva >= s.fileSize) return ~uint64_t{0};
        return uint64_t{s.fileOffset} + (rva - s.rva);
      }
    }
    return ~uint64_t{0};
  }
  bool text(uint32_t rva, std::string* out) const { return bytes_.text(offset(rva), out); }
  uint32_t u32(uint32_t rva) const { return bytes_.u32(offset(rva)); }
  uint16_t u16(uint32_t rva) const { return bytes_.u16(offset(rva)); }

 private:
  const Bytes& bytes_;
  std::vector<Section> sections_;
};

std::string readExports(const Image& image, uint32_t directory, PeImage* pe) {
  const uint32_t base = image.u32(directory + 16);
  const uint32_t functions = image.u32(directory + 20);
  const uint32_t names = image.u32(directory + 24);
  const uint32_t nameTable = image.u32(directory + 32);
  const uint32_t ordinalTable = image.u32(directory + 36);
  if (functions > 65536 || names > functions) return "implausible export counts";
  std::vector<bool> named(functions, false);
  for (uint32_t i = 0; i < names; ++i) {
    std::string name;
    if (!image.text(image.u32(nameTable + 4 * i), &name)) return "an export name runs off";
    uint16_t index = image.u16(ordinalTable + 2 * i);
    if (index >= functions) return "export " + name + " has no function";
    named[index] = true;
    pe->exportNames.insert(name);
  }
  const uint32_t addressTable = image.u32(directory + 28);
  for (uint32_t i = 0; i < functions; ++i) {
    if (!named[i] && image.u32(addressTable + 4 * i) != 0) pe->ordinalOnlyExports.insert(base + i);
  }
  return "";
}

std::string readImports(const Image& image, uint32_t directory, PeImage* pe) {
  for (uint32_t entry = directory;; entry += 20) {
    const uint32_t nameRva = image.u32(entry + 12);
    if (nameRva == 0) return "";
    std::string name;
    if (!image.text(nameRva, &name)) return "an import name runs off";
    pe->imports.push_back(name);
    if (pe->imports.size() > 1000) return "implausible import count";
  }
}

}  // namespace

std::string readPeImage(const std::string& path, PeImage* pe) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return "cannot open " + path;
  Bytes bytes(std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {}));
  *pe = PeImage{};
  if (bytes.u16(0) != 0x5A4D) return path + ": no MZ header";
  const uint32_t pe_offset = bytes.u32(0x3C);
  if (bytes.u32(pe_offset) != 0x00004550) return path + ": no PE signature";
  const uint64_t fileHeader = uint64_t{pe_offset} + 4;
  pe->machine = bytes.u16(fileHeader);
  const uint16_t sectionCount = bytes.u16(fileHeader + 2);
  const uint16_t optionalSize = bytes.u16(fileHeader + 16);
  pe->characteristics = bytes.u16(fileHeader + 18);
  const uint64_t optional = fileHeader + 20;
  pe->optionalMagic = bytes.u16(optional);
  if (pe->optionalMagic != 0x10B && pe->optionalMagic != 0x20B) {
    return path + ": unknown optional header";
  }
  const bool plus = pe->optionalMagic == 0x20B;
  pe->subsystem = bytes.u16(optional + 68);
  const uint64_t directories = optional + (plus ? 112 : 96);
  const uint64_t sectionTable = optional + optionalSize;
  if (!bytes.has(sectionTable, uint64_t{sectionCount} * 40)) return path + ": sections run off";
  std::vector<Section> sections;
  for (uint16_t i = 0; i < sectionCount; ++i) {
    const uint64_t s = sectionTable + 40u * i;
    sections.push_back({bytes.u32(s + 12), bytes.u32(s + 8), bytes.u32(s + 20), bytes.u32(s + 16)});
  }
  Image image(bytes, sections);
  std::string error;
  if (uint32_t exports = bytes.u32(directories); exports != 0) {
    error = readExports(image, exports, pe);
  }
  if (uint32_t imports = bytes.u32(directories + 8); error.empty() && imports != 0) {
    error = readImports(image, imports, pe);
  }
  return error.empty() ? "" : path + ": " + error;
}

}  // namespace ferry::test
