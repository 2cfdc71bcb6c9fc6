// libFuzzer target: the symbol-table parser must take any bytes, and whatever it accepts must
// survive a write and a second read unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/symbol_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ingsim::core;
  SymbolTable table = parseSymbolTable(std::string_view(reinterpret_cast<const char*>(data), size));
  const std::string image = serializeSymbolTable(table);
  if (image.size() != table.symbols.size() * kSymbolRecordSize) std::abort();
  SymbolTable again = parseSymbolTable(image);
  if (again.malformedRecords != 0 || again.symbols.size() != table.symbols.size()) std::abort();
  for (size_t i = 0; i < table.symbols.size(); ++i) {
    if (again.symbols[i].name != table.symbols[i].name ||
        again.symbols[i].value != table.symbols[i].value) {
      std::abort();
    }
  }
  if (formatSymbolListing(again) != formatSymbolListing(table)) std::abort();
  return 0;
}
