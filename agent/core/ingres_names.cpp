#include "core/ingres_names.h"

namespace ferry::agent {
namespace {

constexpr bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
constexpr bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The characters a regular name may hold after its first.
constexpr bool isNameCharacter(char c) {
  return isLetter(c) || isDigit(c) || c == '_' || c == '#' || c == '@' || c == '$';
}

}  // namespace

bool isIngresDatabaseName(std::string_view name) {
  if (name.empty() || name.size() > kIngresDatabaseNameMax || !isLetter(name[0])) return false;
  for (char c : name.substr(1)) {
    if (!isNameCharacter(c)) return false;
  }
  return true;
}

bool isInstallationCode(std::string_view code) {
  return code.size() == 2 && isLetter(code[0]) && (isLetter(code[1]) || isDigit(code[1]));
}

void spellInstallationCode(char* code) {
  for (char* c = code; *c != '\0'; ++c) {
    if (*c >= 'a' && *c <= 'z') *c = static_cast<char>(*c - 'a' + 'A');
  }
}

bool objectDatabaseNameAllowed(std::string_view objectName, NameRule rule) {
  const ObjectName object = classifyObjectName(objectName, rule);
  return object.type == ObjectType::None || isIngresDatabaseName(object.dbName);
}

}  // namespace ferry::agent
