// The archive reader on arbitrary bytes: it must report a fault, never read past the input,
// allocate beyond the format's limits or trip the sanitizers.
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/archive_format.h"

namespace {

// A cheap stand-in digest so that the digest comparison path runs too.
class SumDigest final : public ferry::ctl::archive::DigestCalculator {
 public:
  void reset() override { sum_ = 0; }
  void update(std::span<const uint8_t> data) override {
    for (uint8_t byte : data) sum_ = sum_ * 31 + byte;
  }
  ferry::ctl::archive::Digest finish() override {
    ferry::ctl::archive::Digest digest{};
    for (size_t i = 0; i < 8; ++i) digest[i] = static_cast<uint8_t>(sum_ >> (8 * i));
    return digest;
  }

 private:
  uint64_t sum_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ferry::ctl::archive::MemorySource source(std::span(data, size));
  ferry::ctl::archive::ArchiveVisitor visitor;
  SumDigest digest;
  ferry::ctl::archive::ReadResult result =
      ferry::ctl::archive::readArchive(source, visitor, size % 2 == 0 ? &digest : nullptr);
  if (!result.ok() && result.offset > size) __builtin_trap();  // a fault is always inside
  return 0;
}
