// libFuzzer target: any object name the backup server sends is classified under each rule; a
// kind always comes with a database name of 1 to 255 characters taken from the name itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/object_names.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ferry::agent;
  const std::string_view name(reinterpret_cast<const char*>(data), size);
  for (NameRule rule : {NameRule::Backup, NameRule::Restore, NameRule::Catalogue}) {
    const ObjectName object = classifyObjectName(name, rule);
    if (object.kind == ObjectKind::Invalid) {
      if (!object.dbName.empty()) std::abort();
      continue;
    }
    if (object.dottedUnknown) std::abort();
    if (object.dbName.empty() || object.dbName.size() > kMaxDatabaseName) std::abort();
    // A view into the name, never text of its own.
    if (object.dbName.data() < name.data() ||
        object.dbName.data() + object.dbName.size() > name.data() + name.size()) {
      std::abort();
    }
  }
  return 0;
}
