// ingsetenv NAME "value": sets an installation variable in the symbol table. Errors go to
// standard error.
#include <cstdio>
#include <string>

#include "core/symbol_table.h"
#include "ingsim/symbol_file.h"
#include "locate.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: ingsetenv name value\n");
    return 1;
  }
  std::string error;
  const std::string root = ingsim::utilities::findInstallationRoot(&error);
  if (root.empty()) {
    std::fprintf(stderr, "ingsetenv: %s\n", error.c_str());
    return 1;
  }
  const std::string name = argv[1], value = argv[2];
  error = ingsim::updateSymbolTable(root, [&](ingsim::core::SymbolTable* table) {
    return ingsim::core::setSymbol(table, name, value);
  });
  if (!error.empty()) {
    std::fprintf(stderr, "ingsetenv: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
