#include "core/restore_names.h"

#include <cstdio>
#include <vector>

#include "core/ascii_text.h"
#include "object_header.h"

namespace ferry::agent {
namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

// The root of an anchored path ("X:" or "" for "\..." and UNC) and its components after it; false
// for a path that is not anchored.
bool splitAnchored(std::string_view path, std::string_view* root,
                   std::vector<std::string_view>* components) {
  components->clear();
  size_t start = 0;
  if (path.size() >= 3 && path[1] == ':' && isSeparator(path[2]) &&
      ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
    *root = path.substr(0, 2);
    start = 3;
  } else if (!path.empty() && isSeparator(path[0])) {
    *root = {};
    start = 1;
    // A UNC path: the second leading separator belongs to the root.
    if (path.size() > 1 && isSeparator(path[1])) start = 2;
  } else {
    return false;
  }
  size_t begin = start;
  for (size_t i = start; i <= path.size(); ++i) {
    if (i == path.size() || isSeparator(path[i])) {
      components->push_back(path.substr(begin, i - begin));
      begin = i + 1;
    }
  }
  return true;
}

bool isPlainComponent(std::string_view component) {
  if (component.empty()) return false;
  const char last = component.back();
  // Covers "." and ".." too: Windows drops trailing dots and blanks of a name.
  if (last == '.' || last == ' ') return false;
  for (char c : component) {
    if (c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|') {
      return false;
    }
    if (static_cast<unsigned char>(c) < 0x20) return false;
  }
  return true;
}

// Components of a destination directory; a trailing separator leaves an empty last component,
// which is dropped.
bool splitDirectory(std::string_view directory, std::string_view* root,
                    std::vector<std::string_view>* components) {
  if (!splitAnchored(directory, root, components)) return false;
  if (!components->empty() && components->back().empty()) components->pop_back();
  for (std::string_view component : *components) {
    if (!isPlainComponent(component)) return false;
  }
  return true;
}

bool sameComponents(std::string_view rootA, const std::vector<std::string_view>& a,
                    std::string_view rootB, const std::vector<std::string_view>& b, size_t count) {
  if (!equalsIgnoringCase(rootA, rootB) || a.size() < count || b.size() != count) return false;
  for (size_t i = 0; i < count; ++i) {
    if (!equalsIgnoringCase(a[i], b[i])) return false;
  }
  return true;
}

}  // namespace

HeaderCheck checkRestoreHeader(const void* block, size_t size, bool checkpointNeeded) {
  if (block == nullptr || size != header::kSize) return HeaderCheck::WrongSize;
  if (!header::hasMagic(block)) return HeaderCheck::NoMagic;
  const std::string_view path = header::pathOf(block);
  if (path.empty() || path.size() >= header::kPathSize) return HeaderCheck::NoPath;
  if (checkpointNeeded) {
    const std::string_view checkpoint = header::checkpointOf(block);
    if (checkpoint.empty() || checkpoint.size() > 9) return HeaderCheck::BadCheckpoint;
    for (char c : checkpoint) {
      if (c < '0' || c > '9') return HeaderCheck::BadCheckpoint;
    }
  }
  return HeaderCheck::Ok;
}

const char* headerCheckText(HeaderCheck check) {
  switch (check) {
    case HeaderCheck::Ok:
      return "a valid object header";
    case HeaderCheck::WrongSize:
      return "not 1024 bytes long";
    case HeaderCheck::NoMagic:
      return "without the header's magic text";
    case HeaderCheck::NoPath:
      return "without a terminated file path";
    case HeaderCheck::BadCheckpoint:
      return "with a checkpoint number that is not 1 to 9 digits";
  }
  return "unknown";
}

bool isPlainFilePath(std::string_view path) {
  std::string_view root;
  std::vector<std::string_view> components;
  if (!splitAnchored(path, &root, &components) || components.empty()) return false;
  for (std::string_view component : components) {
    if (!isPlainComponent(component)) return false;
  }
  return true;
}

bool fileInDirectory(std::string_view path, std::string_view directory) {
  if (!isPlainFilePath(path)) return false;
  std::string_view pathRoot, directoryRoot;
  std::vector<std::string_view> pathComponents, directoryComponents;
  splitAnchored(path, &pathRoot, &pathComponents);
  if (!splitDirectory(directory, &directoryRoot, &directoryComponents)) return false;
  // The directory's components and then exactly one more: the file's name.
  if (pathComponents.size() != directoryComponents.size() + 1) return false;
  return sameComponents(pathRoot, pathComponents, directoryRoot, directoryComponents,
                        directoryComponents.size());
}

bool sameDirectory(std::string_view a, std::string_view b) {
  std::string_view rootA, rootB;
  std::vector<std::string_view> componentsA, componentsB;
  if (!splitDirectory(a, &rootA, &componentsA) || !splitDirectory(b, &rootB, &componentsB)) {
    return false;
  }
  return sameComponents(rootA, componentsA, rootB, componentsB, componentsB.size()) &&
         componentsA.size() == componentsB.size();
}

std::string_view directoryOf(std::string_view path) {
  // Both separators, as the path rules accept them: a path written with '/' has a directory too.
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1);
}

std::string endMarkerPath(std::string_view directory, std::string_view checkpointText) {
  std::string path(directory);
  path += "zzzz";
  path += checkpointText;
  path += ".ali";
  return path;
}

bool formatEndTime(const std::tm& local, char* out, size_t size) {
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  if (out == nullptr || size == 0) return false;
  out[0] = '\0';
  if (local.tm_mon < 0 || local.tm_mon > 11 || local.tm_mday < 1 || local.tm_mday > 31 ||
      local.tm_hour < 0 || local.tm_hour > 23 || local.tm_min < 0 || local.tm_min > 59 ||
      local.tm_sec < 0 || local.tm_sec > 60 || local.tm_year < -1899 || local.tm_year > 8099) {
    return false;
  }
  const int written =
      std::snprintf(out, size, "%02d-%s-%04d:%02d:%02d:%02d", local.tm_mday, kMonths[local.tm_mon],
                    local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec);
  if (written < 0 || static_cast<size_t>(written) >= size) {
    out[0] = '\0';
    return false;
  }
  return true;
}

}  // namespace ferry::agent
