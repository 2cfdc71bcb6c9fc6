// A strict reader of JSON text for the console's tests: one value and nothing after it but
// blanks and line ends, or the offset and the reason it is not JSON. \u escapes below 0x100
// come back as that byte; any other one as '?' (the documents the tests read are built so).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/json.h"

namespace ferry::test {

std::optional<ctl::Json> readJson(std::string_view text, std::string* error);

// The value at a path of member names and array indexes ("result", "objects", 0, "name"); null
// when a step is missing.
struct JsonStep {
  JsonStep(const char* name) : key(name) {}
  JsonStep(int position) : index(position) {}
  std::string key;
  int index = -1;
};
ctl::Json jsonAt(const ctl::Json& value, std::initializer_list<JsonStep> path);

}  // namespace ferry::test
