// libFuzzer target: any object name the backup server sends is classified under each rule; a
// kind always comes with a database name of 1 to 255 characters taken from the name itself.
// A name the Ingres rules let through carries only characters that cannot leave a folder or
// end a command-line argument, and a valid installation code is two letters or digits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/ingres_names.h"
#include "core/object_names.h"

namespace {

bool pathOrCommandCharacter(char c) {
  return c == '\\' || c == '/' || c == ':' || c == '.' || c == ' ' || c == '"' || c == '\'' ||
         c == '%' || c == '\0' || static_cast<unsigned char>(c) < 0x20 ||
         static_cast<unsigned char>(c) >= 0x80;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ferry::agent;
  const std::string_view name(reinterpret_cast<const char*>(data), size);
  for (NameRule rule : {NameRule::Backup, NameRule::Restore, NameRule::Catalogue}) {
    const ObjectName object = classifyObjectName(name, rule);
    const bool allowed = objectDatabaseNameAllowed(name, rule);
    if (object.type == ObjectType::None) {
      if (!object.dbName.empty()) std::abort();
      if (!allowed) std::abort();  // no database name: nothing to refuse
      continue;
    }
    if (object.dottedUnknown) std::abort();
    if (object.dbName.empty() || object.dbName.size() > kMaxDatabaseName) std::abort();
    // A view into the name, never text of its own.
    if (object.dbName.data() < name.data() ||
        object.dbName.data() + object.dbName.size() > name.data() + name.size()) {
      std::abort();
    }
    if (allowed != isIngresDatabaseName(object.dbName)) std::abort();
    if (allowed) {
      if (object.dbName.size() > kIngresDatabaseNameMax) std::abort();
      for (char c : object.dbName) {
        if (pathOrCommandCharacter(c)) std::abort();
      }
    }
  }
  if (isIngresDatabaseName(name)) {
    for (char c : name) {
      if (pathOrCommandCharacter(c)) std::abort();
    }
  }
  if (isInstallationCode(name)) {
    if (name.size() != 2) std::abort();
    for (char c : name) {
      if (pathOrCommandCharacter(c)) std::abort();
    }
  }
  return 0;
}
