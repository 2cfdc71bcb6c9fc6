// libFuzzer target: the readers of utility reports and installation files take any bytes, cut
// into lines as fgets cuts them, and never write past their buffers (the sanitizers watch).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/installation_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ferry::agent;
  const std::string input(reinterpret_cast<const char*>(data), size);
  JournalSequenceScan scan;
  OwnerChoice choice;
  char prefix[kOwnerNameSize];
  privilegeKeyPrefix(prefix, sizeof prefix, "host");
  size_t start = 0;
  while (start < input.size()) {
    size_t end = input.find('\n', start);
    end = end == std::string::npos ? input.size() : end + 1;
    if (end - start > kUtilityLineSize - 1) end = start + kUtilityLineSize - 1;
    const std::string line = input.substr(start, end - start);
    start = end;
    if (std::strlen(line.c_str()) != line.size()) continue;  // fgets stops at no NUL either

    char name[kVariableTextSize];
    char value[kVariableTextSize];
    if (parseVariableLine(line.c_str(), name, sizeof name, value, sizeof value) &&
        (std::strlen(name) >= sizeof name || std::strlen(value) >= sizeof value)) {
      std::abort();
    }
    scan.feed(line.c_str());
    char owner[kOwnerNameSize];
    installLogOwner(line.c_str(), owner, sizeof owner);
    char user[kOwnerNameSize];
    if (configDatUser(line.c_str(), prefix, user, sizeof user)) choice.add(user);
  }
  char owner[kOwnerNameSize];
  if (choice.owner(owner, sizeof owner) && choice.count() == 0) std::abort();
  return 0;
}
