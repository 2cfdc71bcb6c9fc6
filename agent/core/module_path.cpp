#include "module_path.h"

namespace ferry::agent {

std::optional<std::string> agentDirectoryFromModulePath(std::string_view modulePath) {
  std::string_view name(kAgentFileName);
  size_t at = modulePath.rfind(name);
  while (at != std::string_view::npos) {
    if (at > 0 && (modulePath[at - 1] == '\\' || modulePath[at - 1] == '/')) {
      // The text before the name, less its separator; a bare separator has no directory.
      if (at - 1 == 0) return std::nullopt;
      return std::string(modulePath.substr(0, at - 1));
    }
    if (at == 0) break;
    at = modulePath.rfind(name, at - 1);
  }
  return std::nullopt;
}

}  // namespace ferry::agent
