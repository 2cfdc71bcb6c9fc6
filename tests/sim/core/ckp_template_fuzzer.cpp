// libFuzzer target: the template reader and the command splitter must take any bytes, and what
// they give must keep their promises (four-letter codes, parts without leading punctuation or
// trailing blanks, echo text taken from the part itself).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/ckp_template.h"

namespace {

bool isAlnum(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ingsim::core;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CodeValues values;
  values.locationCount = 3;
  values.locationNumber = 2;
  values.directory = "C:\\a b\\&\"x";
  values.checkpointFile = "c0001002.ckp";
  for (const TemplateLine& line : parseTemplate(text)) {
    if (line.code.size() != 4 || line.lineNumber < 1) std::abort();
    if (line.command.find('\n') != std::string::npos) std::abort();
    const TemplateLine* chosen = findStepLine({line}, line.code);
    if (chosen == nullptr) std::abort();
    for (const std::string& part : splitCommand(substituteCodes(line.command, values))) {
      if (part.empty() || !isAlnum(part.front())) std::abort();
      char last = part.back();
      if (last == ' ' || last == '\t' || last == '\r' || last == '\n') std::abort();
      std::string echoed;
      if (isEchoPart(part, &echoed) && echoed.size() + 5 != part.size()) std::abort();
      (void)isShellBuiltin(part);
    }
  }
  return 0;
}
