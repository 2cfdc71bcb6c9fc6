#include "core/names.h"

namespace ingsim::core {
namespace {

bool isPrintable(char c) {
  auto u = static_cast<unsigned char>(c);
  return u > 0x20 && u != 0x7f;
}

bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string validateInstallationCode(std::string_view code) {
  if (code.empty() || code.size() > 8) return "the installation code must have 1 to 8 characters";
  for (char c : code) {
    if (!isLetter(c) && !isDigit(c)) {
      return "the installation code '" + std::string(code) + "' may hold only letters and digits";
    }
  }
  return "";
}

std::string validateDatabaseName(std::string_view name) {
  if (name.empty() || name.size() > 32) return "a database name must have 1 to 32 characters";
  for (size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    bool ok = (c >= 'a' && c <= 'z') || (i > 0 && (isDigit(c) || c == '_'));
    if (!ok) {
      return "the database name '" + std::string(name) +
             "' must start with a lower-case letter and hold only lower-case letters, digits "
             "and '_'";
    }
  }
  return "";
}

std::string validateUserName(std::string_view name, std::string_view what) {
  if (name.empty() || name.size() > 32) return std::string(what) + " must have 1 to 32 characters";
  for (char c : name) {
    if (!isPrintable(c) || c == ',' || c == ':' || c == '(' || c == ')') {
      return std::string(what) + " '" + std::string(name) +
             "' may not hold blanks, control characters, ',', ':', '(' or ')'";
    }
  }
  return "";
}

std::string validateTableName(std::string_view name) {
  if (name.empty() || name.size() > 32) return "a table name must have 1 to 32 characters";
  for (char c : name) {
    if (!isPrintable(c)) return "the table name '" + std::string(name) + "' holds a blank";
  }
  return "";
}

bool isFolderArea(std::string_view area) {
  if (!area.empty() && area[0] == '\\') return true;
  return area.size() >= 3 && isLetter(area[0]) && area[1] == ':' && area[2] == '\\';
}

bool isFullPath(std::string_view path) {
  if (path.size() >= 3 && isLetter(path[0]) && path[1] == ':' && path[2] == '\\') return true;
  return path.size() >= 3 && path[0] == '\\' && path[1] == '\\' && path[2] != '\\';
}

std::string withoutTrailingSeparator(std::string_view path) {
  std::string out(path);
  while (out.size() > 1 && (out.back() == '\\' || out.back() == '/')) {
    if (out.size() == 3 && out[1] == ':') break;
    out.pop_back();
  }
  return out;
}

}  // namespace ingsim::core
