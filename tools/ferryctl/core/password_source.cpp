#include "core/password_source.h"

namespace ferry::ctl {

std::string passwordFromText(std::string_view text) {
  std::string_view line = text.substr(0, text.find('\n'));
  if (line.ends_with('\r')) line.remove_suffix(1);
  return std::string(line);
}

}  // namespace ferry::ctl
