#include "path_expansion.h"

namespace ferry::agent {

std::optional<std::string> expandMachinePath(std::string_view value, const VariableLookup& lookup) {
  std::string expanded;
  expanded.reserve(value.size());
  size_t position = 0;
  while (position < value.size()) {
    size_t open = value.find('%', position);
    if (open == std::string_view::npos) {
      expanded.append(value.substr(position));
      break;
    }
    expanded.append(value.substr(position, open - position));
    size_t close = value.find('%', open + 1);
    if (close == std::string_view::npos) return std::nullopt;
    std::string name(value.substr(open + 1, close - open - 1));
    if (name.empty()) return std::nullopt;
    std::optional<std::string> variable = lookup(name);
    if (!variable || variable->size() > kMaxPathVariableValue) return std::nullopt;
    expanded.append(*variable);
    position = close + 1;
  }
  return expanded;
}

}  // namespace ferry::agent
