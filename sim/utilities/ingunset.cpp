// ingunset NAME: removes an installation variable from the symbol table; a variable that is not
// set is not an error. Errors go to standard error.
#include <cstdio>
#include <string>

#include "core/symbol_table.h"
#include "ingsim/symbol_file.h"
#include "locate.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: ingunset name\n");
    return 1;
  }
  const std::string name = argv[1];
  std::string error = ingsim::core::validateSymbolName(name);
  if (!error.empty()) {
    std::fprintf(stderr, "ingunset: %s\n", error.c_str());
    return 1;
  }
  const std::string root = ingsim::utilities::findInstallationRoot(&error);
  if (root.empty()) {
    std::fprintf(stderr, "ingunset: %s\n", error.c_str());
    return 1;
  }
  error = ingsim::updateSymbolTable(root, [&](ingsim::core::SymbolTable* table) {
    ingsim::core::unsetSymbol(table, name);
    return std::string();
  });
  if (!error.empty()) {
    std::fprintf(stderr, "ingunset: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
