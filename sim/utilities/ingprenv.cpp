// ingprenv: prints the installation variables as NAME=value lines, or with a name the value
// alone (no line at all when the variable is not set). Errors go to standard error.
#include <cstdio>
#include <string>

#include "core/symbol_table.h"
#include "ingsim/symbol_file.h"
#include "locate.h"

int main(int argc, char** argv) {
  if (argc > 2) {
    std::fprintf(stderr, "usage: ingprenv [name]\n");
    return 1;
  }
  std::string error;
  const std::string root = ingsim::utilities::findInstallationRoot(&error);
  if (root.empty()) {
    std::fprintf(stderr, "ingprenv: %s\n", error.c_str());
    return 1;
  }
  ingsim::core::SymbolTable table;
  error = ingsim::readSymbolTable(root, &table);
  if (!error.empty()) {
    std::fprintf(stderr, "ingprenv: %s\n", error.c_str());
    return 1;
  }
  if (argc == 1) {
    std::fputs(ingsim::core::formatSymbolListing(table).c_str(), stdout);
    return 0;
  }
  if (const ingsim::core::Symbol* symbol = ingsim::core::findSymbol(table, argv[1])) {
    std::printf("%s\n", symbol->value.c_str());
  }
  return 0;
}
