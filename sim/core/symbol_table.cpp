#include "core/symbol_table.h"

namespace ingsim::core {
namespace {

bool isNameChar(char c, bool first) {
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_') return true;
  return !first && c >= '0' && c <= '9';
}

bool isControl(char c) {
  auto u = static_cast<unsigned char>(c);
  return u < 0x20 || u == 0x7f;
}

}  // namespace

std::string validateSymbolName(std::string_view name) {
  if (name.empty()) return "the variable name is empty";
  if (name.size() > kMaxSymbolNameLength) {
    return "the variable name is longer than " + std::to_string(kMaxSymbolNameLength) +
           " characters";
  }
  for (size_t i = 0; i < name.size(); ++i) {
    if (!isNameChar(name[i], i == 0)) {
      return "the variable name '" + std::string(name) +
             "' may hold only letters, digits and '_' and may not start with a digit";
    }
  }
  return "";
}

std::string validateSymbol(std::string_view name, std::string_view value) {
  std::string error = validateSymbolName(name);
  if (!error.empty()) return error;
  // name, TAB, value, newline
  if (name.size() + 1 + value.size() + 1 > kSymbolRecordSize) {
    return "the value of " + std::string(name) + " is too long: name and value together may hold " +
           std::to_string(kSymbolRecordSize - 2) + " characters";
  }
  for (char c : value) {
    if (isControl(c)) return "the value of " + std::string(name) + " holds a control character";
  }
  if (!value.empty() && value.back() == ' ') {
    return "the value of " + std::string(name) + " ends in a blank";
  }
  return "";
}

std::string encodeSymbolRecord(const Symbol& symbol, std::string* record) {
  record->clear();
  std::string error = validateSymbol(symbol.name, symbol.value);
  if (!error.empty()) return error;
  record->reserve(kSymbolRecordSize);
  record->append(symbol.name);
  record->push_back('\t');
  record->append(symbol.value);
  record->append(kSymbolRecordSize - 1 - record->size(), ' ');
  record->push_back('\n');
  return "";
}

bool decodeSymbolLine(std::string_view line, Symbol* symbol) {
  if (line.size() > kSymbolRecordSize - 1) return false;
  // A file written by a Windows editor may carry CR before the newline.
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  size_t tab = line.find('\t');
  if (tab == std::string_view::npos) return false;
  std::string_view name = line.substr(0, tab);
  std::string_view value = line.substr(tab + 1);
  while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
  if (!validateSymbolName(name).empty()) return false;
  for (char c : value) {
    if (isControl(c)) return false;
  }
  symbol->name.assign(name);
  symbol->value.assign(value);
  return true;
}

SymbolTable parseSymbolTable(std::string_view bytes) {
  SymbolTable table;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    size_t next = end == std::string_view::npos ? bytes.size() : end + 1;
    if (end == std::string_view::npos) end = bytes.size();
    std::string_view line = bytes.substr(start, end - start);
    start = next;
    // Blank-only lines are padding left by an editor, not records.
    if (line.find_first_not_of(" \r") == std::string_view::npos) continue;
    Symbol symbol;
    if (!decodeSymbolLine(line, &symbol) || findSymbol(table, symbol.name) != nullptr) {
      ++table.malformedRecords;
      continue;
    }
    table.symbols.push_back(std::move(symbol));
  }
  return table;
}

std::string serializeSymbolTable(const SymbolTable& table) {
  std::string out;
  out.reserve(table.symbols.size() * kSymbolRecordSize);
  std::string record;
  for (const Symbol& symbol : table.symbols) {
    // Symbols come from parseSymbolTable or setSymbol, which validated them; an invalid one
    // would have no record form and is left out rather than written broken.
    if (encodeSymbolRecord(symbol, &record).empty()) out += record;
  }
  return out;
}

const Symbol* findSymbol(const SymbolTable& table, std::string_view name) {
  for (const Symbol& symbol : table.symbols) {
    if (symbol.name == name) return &symbol;
  }
  return nullptr;
}

std::string setSymbol(SymbolTable* table, std::string_view name, std::string_view value) {
  std::string error = validateSymbol(name, value);
  if (!error.empty()) return error;
  for (Symbol& symbol : table->symbols) {
    if (symbol.name == name) {
      symbol.value.assign(value);
      return "";
    }
  }
  table->symbols.push_back(Symbol{std::string(name), std::string(value)});
  return "";
}

bool unsetSymbol(SymbolTable* table, std::string_view name) {
  for (auto it = table->symbols.begin(); it != table->symbols.end(); ++it) {
    if (it->name == name) {
      table->symbols.erase(it);
      return true;
    }
  }
  return false;
}

std::string formatSymbolListing(const SymbolTable& table) {
  std::string out;
  for (const Symbol& symbol : table.symbols) {
    out += symbol.name;
    out += '=';
    out += symbol.value;
    out += '\n';
  }
  return out;
}

}  // namespace ingsim::core
