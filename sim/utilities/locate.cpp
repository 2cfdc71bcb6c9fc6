#include "locate.h"

#include <windows.h>

#include "core/install_text.h"
#include "ingsim/win_util.h"

namespace ingsim::utilities {
namespace {

std::string modulePath() {
  char path[MAX_PATH * 2];
  DWORD n = GetModuleFileNameA(/*module=*/nullptr, path, sizeof path);
  return std::string(path, n);
}

bool holdsInstallation(const std::string& root) {
  return !root.empty() && isDirectory(root + "\\ingres\\files");
}

}  // namespace

std::string programName() {
  std::string path = modulePath();
  size_t slash = path.find_last_of("\\/");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.resize(dot);
  return core::toLower(name);
}

std::string findInstallationRoot(std::string* error) {
  error->clear();
  const std::string bin = parentFolder(modulePath());
  const std::string suffix = "\\ingres\\bin";
  if (bin.size() > suffix.size() &&
      core::toLower(bin.substr(bin.size() - suffix.size())) == suffix) {
    std::string root = bin.substr(0, bin.size() - suffix.size());
    if (holdsInstallation(root)) return root;
  }
  char value[1024];
  DWORD n = GetEnvironmentVariableA("II_SYSTEM", value, sizeof value);
  if (n > 0 && n < sizeof value) {
    std::string root(value, n);
    while (root.size() > 3 && (root.back() == '\\' || root.back() == '/')) root.pop_back();
    if (holdsInstallation(root)) return root;
    *error = "II_SYSTEM (" + root + ") does not name an Ingres installation";
    return "";
  }
  *error = "II_SYSTEM is not set and this program does not lie in an installation's ingres\\bin";
  return "";
}

}  // namespace ingsim::utilities
