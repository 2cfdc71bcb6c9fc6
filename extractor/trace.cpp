#include "trace.h"

#include <windows.h>

#include <cstdarg>
#include <string>

#include "command_line.h"
#include "held_lock.h"
#include "registry_root.h"
#include "trace_line.h"
#include "unique_handle.h"

namespace ferry::extractor {
namespace {

constexpr DWORD kDebugDefault = 100;

std::string g_instanceKey;
bool g_traceOn = true;
bool g_directoryKnown = false;
std::string g_traceDirectory;
HANDLE g_mutex = nullptr;  // lives as long as the process

// siphon is installed beside the agent and its basetool.dll: look there first.
std::string ownDirectory() {
  char path[MAX_PATH] = {};
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  if (length == 0 || length >= sizeof path) return {};
  std::string text(path, length);
  size_t slash = text.find_last_of('\\');
  return slash == std::string::npos ? std::string() : text.substr(0, slash);
}

std::string registryRoot() {
  std::string local = ownDirectory() + "\\basetool.dll";
  UniqueModule basetool(LoadLibraryA(local.c_str()));
  if (!basetool) basetool.reset(LoadLibraryA("basetool.dll"));
  char buffer[kRegistryRootBufferSize] = {};
  if (basetool) {
    auto getRoot = reinterpret_cast<GetProductRegistryRootFn>(reinterpret_cast<void*>(
        GetProcAddress(basetool.get(), MAKEINTRESOURCEA(kRegistryRootOrdinal))));
    if (getRoot != nullptr && getRoot(buffer, sizeof buffer) != 0 && buffer[0] != '\0') {
      buffer[sizeof buffer - 1] = '\0';
      return buffer;
    }
  }
  // The same text as basetool's, so that a missing product library keeps the key layout.
  return kProductRegistryRoot;
}

UniqueKey openSettings() {
  static const std::string keyName =
      registryRoot() + "\\DSAgent\\CurrentVersion\\agent\\" + g_instanceKey;
  UniqueKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
    return UniqueKey();
  }
  return key;
}

std::string readDll() {
  UniqueKey key = openSettings();
  if (!key) return {};
  // One byte more than the value may hold: a stored text need not end with a NUL.
  char text[257] = {};
  DWORD size = 256;
  if (RegQueryValueExA(key.get(), "dll", /*reserved=*/nullptr, /*type=*/nullptr,
                       reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS) {
    return {};
  }
  return text;
}

DWORD readDebug() {
  UniqueKey key = openSettings();
  if (!key) return kDebugDefault;
  DWORD value = 0;
  DWORD size = sizeof value;
  if (RegQueryValueExA(key.get(), "debug", /*reserved=*/nullptr, /*type=*/nullptr,
                       reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS) {
    return kDebugDefault;
  }
  return value;
}

bool isLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != FALSE; }

void writeLine(const char* message) {
  if (!g_directoryKnown) {
    g_directoryKnown = true;
    if (!traceDirectoryFromDll(readDll(), isLeadByte, &g_traceDirectory)) {
      g_traceOn = false;
      return;
    }
  }
  DWORD debug = readDebug();
  if (debug == 0 || debug == kDebugDefault) {
    g_traceOn = false;
    return;
  }
  char fileName[MAX_PATH + 32];
  formatBounded(fileName, sizeof fileName, "%s\\siphon%lu.trc", g_traceDirectory.c_str(),
                GetCurrentThreadId());
  UniqueFile file(CreateFileA(fileName, GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, /*security=*/nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, /*template=*/nullptr));
  if (!file) {
    g_traceOn = false;
    return;
  }
  SetFilePointer(file.get(), 0, nullptr, FILE_END);
  SYSTEMTIME now;
  GetLocalTime(&now);
  TraceTime time{now.wYear,   now.wMonth,  now.wDay,         now.wHour,
                 now.wMinute, now.wSecond, now.wMilliseconds};
  char line[kExtractorLineSize];
  size_t length = formatExtractorTraceLine(line, sizeof line, time, message);
  DWORD written = 0;
  // A failed or short write is not retried: a trace line is never worth failing the run.
  WriteFile(file.get(), line, static_cast<DWORD>(length), &written, /*overlapped=*/nullptr);
}

}  // namespace

void setTraceInstance(const std::string& instanceKey) { g_instanceKey = instanceKey; }

void trace(const char* format, ...) {
  if (!g_traceOn) return;
  if (g_mutex == nullptr) {
    g_mutex = CreateMutexA(/*security=*/nullptr, /*initialOwner=*/FALSE, /*name=*/nullptr);
    if (g_mutex == nullptr) return;
  }
  // An abandoned mutex (its holder's thread ended) is held all the same.
  HeldLock held = HeldLock::wait(g_mutex, INFINITE);
  if (!held) return;
  if (!g_traceOn) return;
  char message[kExtractorMessageSize];
  va_list args;
  va_start(args, format);
  formatBoundedV(message, sizeof message, format, args);
  va_end(args);
  writeLine(message);
}

}  // namespace ferry::extractor
