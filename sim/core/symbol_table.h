// The installation's symbol table, <II_SYSTEM>\ingres\files\symbol.tbl: the installation variables
// that ingprenv prints and ingsetenv / ingunset change.
//
// The file is a run of fixed 256-byte records. Each record holds the variable name, one TAB, the
// value, blanks up to byte 254 and a newline in byte 255. Reading is by lines rather than by
// fixed offsets, so a record that somebody shortened or lengthened by hand costs only that record
// and not every record after it. Writing always produces exact 256-byte records.
//
// Platform-free; no function throws. Functions that can fail return an empty string on success,
// else a message saying what was wrong.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace ingsim::core {

inline constexpr size_t kSymbolRecordSize = 256;
// Longest variable name accepted. A name and its value share one record: name, TAB, value and
// the newline must fit in kSymbolRecordSize bytes.
inline constexpr size_t kMaxSymbolNameLength = 64;

struct Symbol {
  std::string name;
  std::string value;
};

// Checks that a name is 1 to kMaxSymbolNameLength letters, digits or '_' (not starting with a
// digit).
std::string validateSymbolName(std::string_view name);
// Checks a name and value pair fits one record. Values may hold blanks and any printable byte
// but no control characters; trailing blanks cannot be told from the record's padding, so they
// are refused as well.
std::string validateSymbol(std::string_view name, std::string_view value);

// One record of exactly kSymbolRecordSize bytes; "" in *record and a message on invalid input.
std::string encodeSymbolRecord(const Symbol& symbol, std::string* record);

// Decodes one line (without its newline). False for a malformed line: no TAB, an invalid name,
// a control character, or more than kSymbolRecordSize - 1 bytes.
bool decodeSymbolLine(std::string_view line, Symbol* symbol);

struct SymbolTable {
  std::vector<Symbol> symbols;  // in file order, one entry per name
  size_t malformedRecords = 0;  // records skipped while parsing (bad lines, repeated names)
};

// Parses a whole file. Never fails: malformed records and later repeats of a name are skipped and
// counted; a final record without its newline is still read.
SymbolTable parseSymbolTable(std::string_view bytes);
// The file image: one record per symbol, in order.
std::string serializeSymbolTable(const SymbolTable& table);

// Lookups compare names exactly (case-sensitive), as the installation's utilities do.
const Symbol* findSymbol(const SymbolTable& table, std::string_view name);
// Replaces the value in place or appends the variable; message on an invalid name or value.
std::string setSymbol(SymbolTable* table, std::string_view name, std::string_view value);
// Removes the variable; false when it was not set.
bool unsetSymbol(SymbolTable* table, std::string_view name);

// ingprenv's listing: "NAME=value\n" per variable, in table order.
std::string formatSymbolListing(const SymbolTable& table);

}  // namespace ingsim::core
