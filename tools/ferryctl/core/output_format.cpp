#include "core/output_format.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace ferry::ctl {
namespace {

std::string errorSuffix(uint32_t systemError, std::string_view systemText) {
  std::string text = ": error " + std::to_string(systemError);
  std::string trimmed = trimTrailingSpace(systemText);
  if (!trimmed.empty()) text += ": " + trimmed;
  return text;
}

}  // namespace

std::string agentTextFromBuffer(const char* buffer, size_t bufferSize, uint32_t length) {
  size_t limit = std::min<size_t>(length, bufferSize);
  const void* nul = std::memchr(buffer, '\0', limit);
  if (nul != nullptr) limit = static_cast<size_t>(static_cast<const char*>(nul) - buffer);
  return std::string(buffer, limit);
}

std::string systemTextFromBuffer(const char* buffer, size_t bufferSize) {
  const void* nul = std::memchr(buffer, '\0', bufferSize);
  size_t limit =
      nul != nullptr ? static_cast<size_t>(static_cast<const char*>(nul) - buffer) : bufferSize;
  return trimTrailingSpace(std::string_view(buffer, limit));
}

std::string trimTrailingSpace(std::string_view text) {
  size_t end = text.find_last_not_of(" \t\r\n");
  return end == std::string_view::npos ? std::string() : std::string(text.substr(0, end + 1));
}

std::string codeAndText(uint32_t code, std::string_view text) {
  return std::to_string(code) + ": " +
         (text.empty() ? std::string("(no text)") : std::string(text));
}

std::string connectedLine(uint32_t connectionId) {
  return "connected: connection id " + std::to_string(connectionId);
}

std::string loadFailureLine(std::string_view path, uint32_t systemError,
                            std::string_view systemText) {
  return "cannot load agent library " + std::string(path) + errorSuffix(systemError, systemText);
}

std::string missingEntryPointLine(std::string_view path, std::string_view entryPoint,
                                  uint32_t systemError, std::string_view systemText) {
  return "agent library " + std::string(path) + " lacks entry point " + std::string(entryPoint) +
         errorSuffix(systemError, systemText);
}

std::string besideProgram(std::string_view programPath, std::string_view fileName) {
  size_t slash = programPath.find_last_of("\\/");
  if (slash == std::string_view::npos) return std::string(fileName);
  return std::string(programPath.substr(0, slash + 1)) + std::string(fileName);
}

double mibPerSecond(uint64_t bytes, double seconds) {
  if (seconds <= 0) return 0;
  return static_cast<double>(bytes) / (1024.0 * 1024.0) / seconds;
}

std::string progressLine(uint64_t bytes, uint64_t files, double seconds) {
  char line[128];
  std::snprintf(line, sizeof line, "%.1f MiB, %llu %s, %.1f MiB/s",
                static_cast<double>(bytes) / (1024.0 * 1024.0),
                static_cast<unsigned long long>(files), files == 1 ? "file" : "files",
                mibPerSecond(bytes, seconds));
  return line;
}

std::string savedObjectLine(std::string_view verb, std::string_view name, uint64_t files,
                            uint64_t bytes) {
  return std::string(verb) + " " + std::string(name) + ": " + std::to_string(files) +
         (files == 1 ? " file, " : " files, ") + std::to_string(bytes) + " bytes";
}

}  // namespace ferry::ctl
