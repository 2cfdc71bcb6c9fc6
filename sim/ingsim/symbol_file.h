// The installation's symbol table on disk, <root>\ingres\files\symbol.tbl, read and changed
// safely while other processes (ingsetenv, ingunset, ingsim, tests) do the same.
//
// Every access holds a lock on one byte far past the end of the file: shared for reading,
// exclusive for a read-modify-write. Locking past the end keeps Windows' mandatory byte-range
// locks away from the data itself, so the locking never makes a plain ReadFile fail; the lock
// goes with the handle, so a process that dies holding it does not block the others.
#pragma once

#include <functional>
#include <string>

#include "core/symbol_table.h"

namespace ingsim {

std::string symbolTablePath(const std::string& root);

// A missing file reads as an empty table.
std::string readSymbolTable(const std::string& root, core::SymbolTable* table);

// Runs `change` on the current table under the exclusive lock and writes the result back when
// it returns "" (else its message is returned and the file is left as it was).
std::string updateSymbolTable(const std::string& root,
                              const std::function<std::string(core::SymbolTable*)>& change);

}  // namespace ingsim
