#include "ingsim/win_util.h"

#include <algorithm>
#include <vector>

#include "core/sample_pattern.h"

namespace ingsim {

std::string win32Error(const std::string& what, DWORD error) {
  UniqueLocalMemory<char> text;
  // With FORMAT_MESSAGE_ALLOCATE_BUFFER the "buffer" argument receives the text's address.
  DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      /*source=*/nullptr, error, 0, reinterpret_cast<char*>(text.put()), 0,
      /*arguments=*/nullptr);
  std::string message(text ? text.get() : "", text ? n : 0);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  if (message.empty()) message = "system error";
  return what + " failed: " + message + " (error " + std::to_string(error) + ")";
}

bool pathExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool isDirectory(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string parentFolder(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string makeDirectories(const std::string& path) {
  if (path.empty() || isDirectory(path)) return "";
  // Stop at a drive root ("C:") or the server part of a UNC path.
  std::string parent = parentFolder(path);
  if (!parent.empty() && parent.size() > 2 && parent != "\\" && parent != "\\\\") {
    std::string error = makeDirectories(parent);
    if (!error.empty()) return error;
  }
  if (!CreateDirectoryA(path.c_str(), /*security=*/nullptr)) {
    DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS || !isDirectory(path)) {
      return win32Error("creating folder " + path, error);
    }
  }
  return "";
}

std::string removeTree(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return "";
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!DeleteFileA(path.c_str())) return win32Error("deleting " + path, GetLastError());
    return "";
  }
  WIN32_FIND_DATAA entry;
  UniqueFind search(FindFirstFileA((path + "\\*").c_str(), &entry));
  std::string firstError;
  if (search) {
    do {
      std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      std::string error = removeTree(path + "\\" + name);
      if (firstError.empty()) firstError = error;
    } while (FindNextFileA(search.get(), &entry));
    search.reset();
  }
  if (!RemoveDirectoryA(path.c_str()) && firstError.empty()) {
    firstError = win32Error("removing folder " + path, GetLastError());
  }
  return firstError;
}

void removeEmptyFolders(const std::string& folder, const std::string& stop) {
  std::string current = folder;
  while (!current.empty() && !samePath(current, stop) && current.size() > stop.size()) {
    // RemoveDirectory refuses a folder that still has entries, which is the test we want.
    if (!RemoveDirectoryA(current.c_str())) return;
    current = parentFolder(current);
  }
}

std::string writeTextFile(const std::string& path, const std::string& text) {
  UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, /*security=*/nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, /*template=*/nullptr));
  if (!file.valid()) return win32Error("creating " + path, GetLastError());
  DWORD written = 0;
  if (!WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
      written != text.size()) {
    return win32Error("writing " + path, GetLastError());
  }
  return "";
}

std::string readWholeFile(const std::string& path, std::string* contents) {
  contents->clear();
  UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              /*security=*/nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              /*template=*/nullptr));
  if (!file.valid()) return win32Error("opening " + path, GetLastError());
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    contents->append(buffer, got);
  }
  return "";
}

std::string writeSampleFile(const std::string& path, const std::string& patternName,
                            uint64_t size) {
  UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, /*security=*/nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                              /*template=*/nullptr));
  if (!file.valid()) return win32Error("creating " + path, GetLastError());
  // Large blocks: a gigabyte file is a few hundred writes.
  const size_t kBlock = 4u << 20;
  std::vector<unsigned char> block(static_cast<size_t>(std::min<uint64_t>(size, kBlock)));
  const uint64_t seed = core::sampleSeed(patternName);
  uint64_t offset = 0;
  while (offset < size) {
    size_t chunk = static_cast<size_t>(std::min<uint64_t>(size - offset, kBlock));
    core::fillSample(seed, offset, block.data(), chunk);
    DWORD written = 0;
    if (!WriteFile(file.get(), block.data(), static_cast<DWORD>(chunk), &written, nullptr) ||
        written != chunk) {
      return win32Error("writing " + path, GetLastError());
    }
    offset += chunk;
  }
  return "";
}

std::string programFolder() {
  char path[MAX_PATH * 2];
  DWORD n = GetModuleFileNameA(/*module=*/nullptr, path, sizeof path);
  return parentFolder(std::string(path, n));
}

namespace {

std::string normalizedPath(const std::string& path) {
  std::string out = path;
  for (char& c : out) {
    if (c == '/') c = '\\';
    // Windows folds names case-insensitively; ASCII folding covers the paths we build.
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  while (out.size() > 1 && out.back() == '\\') out.pop_back();
  return out;
}

}  // namespace

bool samePath(const std::string& a, const std::string& b) {
  return normalizedPath(a) == normalizedPath(b);
}

}  // namespace ingsim
