// A scripted agent library for the console's backup and restore paths: one database "fake" with
// a data object of two files (5000 bytes and an empty one), a configuration object of one file
// (1500 bytes) and a journal object with no file. Data come in pieces of at most 3000 bytes.
//
// CTL_FAKE_MODE chooses a failure: "read-error" (the data object's second data call returns 1),
// "begin-error" (the configuration object's begin returns 21), "restore-corrupt" (the restore
// writes the first data byte of each file changed); a read buffer that is not sector-aligned
// is answered with 87. Restore sessions write what they receive to the header's path, creating
// the folders. Every call is appended to the file CTL_FAKE_LOG, one line each.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "unique_handle.h"

namespace {

struct FakeFile {
  const char* path;
  uint32_t size;
};

constexpr FakeFile kDataFiles[] = {{"C:\\ferrytest\\ctl_fake\\data\\aaaaaaab.t00", 5000},
                                   {"C:\\ferrytest\\ctl_fake\\data\\aaaaaaac.t00", 0}};
constexpr FakeFile kConfigFiles[] = {{"C:\\ferrytest\\ctl_fake\\dmp\\aaaaaaaa.cnf", 1500}};

struct Stream {
  const FakeFile* files = nullptr;
  size_t fileCount = 0;
  uint32_t indexBase = 0;  // FakeByte's index of the stream's first file
  size_t file = 0;
  bool inFile = false;
  uint32_t offset = 0;
  int dataCalls = 0;
  bool failRead = false;
} stream;

std::string mode() {
  char value[64] = {};
  DWORD n = GetEnvironmentVariableA("CTL_FAKE_MODE", value, sizeof value);
  return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

void log(const std::string& line) {
  char path[MAX_PATH] = {};
  DWORD n = GetEnvironmentVariableA("CTL_FAKE_LOG", path, sizeof path);
  if (n == 0 || n >= sizeof path) return;
  FILE* file = std::fopen(path, "ab");
  if (file == nullptr) return;
  std::fprintf(file, "%s\n", line.c_str());
  std::fclose(file);
}

}  // namespace

extern "C" {

// The content of byte `offset` of fake file `index` (the test computes the same).
__declspec(dllexport) uint8_t FakeByte(uint32_t index, uint32_t offset) {
  return static_cast<uint8_t>(offset * 31u + index * 7u + (offset >> 8));
}

__declspec(dllexport) uint32_t
    DSAConnectAgent(uint32_t, const char*, const char*, const char*, uint32_t* connectionId) {
  *connectionId = 7;
  log("connect");
  return 0;
}

__declspec(dllexport) uint32_t DSADisconnectAgent(uint32_t connectionId) {
  log("disconnect " + std::to_string(connectionId));
  return connectionId == 7 ? 0 : 2;
}

__declspec(dllexport) uint32_t
    DSAGetError(uint32_t, uint32_t code, char* buffer, uint32_t* length) {
  int n = std::snprintf(buffer, 256, "fake text of %u", code);
  *length = static_cast<uint32_t>(n);
  return 0;
}

__declspec(dllexport) uint32_t DSAGetAgentInfo(uint32_t, void* info, uint32_t* size) {
  if (*size < 96) return 50;
  std::memset(info, 0, 96);
  std::memcpy(info, "Fake Server", 11);
  *size = 96;
  return 0;
}

__declspec(dllexport) uint32_t
    DSAEnumObjects(uint32_t, const char*, uint32_t type, void* buffer, uint32_t* size) {
  static const char kList[] = "fake.DATA\0fake.~CONFIG\0~JOURNAL OF DATABASE fake\0\0";
  if (type != 1) return 3;
  if (*size < sizeof kList) {
    *size = sizeof kList;
    return 500;
  }
  std::memcpy(buffer, kList, sizeof kList);
  *size = sizeof kList;
  return 0;
}

__declspec(dllexport) uint32_t DSAGetExcludedFiles(uint32_t, void*, uint32_t* size) {
  *size = 0;
  return 0;
}

__declspec(dllexport) uint32_t DSABeginBackup(uint32_t, char* name, uint32_t options,
                                              uint32_t* backupId, uint32_t* remoteArg) {
  *backupId = 0;
  *remoteArg = 0;
  std::string given = name;
  log("begin " + given + " " + std::to_string(options));
  stream = {};
  if (char* dot = std::strchr(name, '.'); dot != nullptr) *dot = '\0';  // as the agent does
  if (given == "fake.DATA") {
    stream.files = kDataFiles;
    stream.fileCount = 2;
    stream.failRead = mode() == "read-error";
  } else if (given == "fake.~CONFIG") {
    if (mode() == "begin-error") return 21;
    stream.files = kConfigFiles;
    stream.fileCount = 1;
    stream.indexBase = 2;
  } else if (given != "~JOURNAL OF DATABASE fake") {
    return 21;
  }
  *backupId = 1;
  *remoteArg = 7;
  return 0;
}

__declspec(dllexport) uint32_t
    DSARead(uint32_t, uint32_t backupId, uint32_t, void* buffer, uint32_t* count) {
  if (backupId != 1) return 9;
  // The files are read unbuffered into the caller's buffer.
  if (reinterpret_cast<uintptr_t>(buffer) % 4096 != 0 || *count % 4096 != 0) {
    log("unaligned");
    return 87;
  }
  if (!stream.inFile) {
    if (stream.file == stream.fileCount) {
      *count = 0;
      return 0;
    }
    const FakeFile& file = stream.files[stream.file];
    auto* header = static_cast<uint8_t*>(buffer);
    std::memset(header, 0, 1024);
    std::memcpy(header, "FERRYMAN", 8);
    std::memcpy(header + 12, "0004", 4);
    std::memcpy(header + 512, file.path, std::strlen(file.path));
    uint32_t kb = file.size / 1024;
    std::memcpy(header + 768, &kb, 4);
    *count = 1024;
    stream.inFile = true;
    stream.offset = 0;
    return 0;
  }
  const FakeFile& file = stream.files[stream.file];
  if (stream.offset == file.size) {
    *count = 0;
    stream.inFile = false;
    ++stream.file;
    return 9999;
  }
  if (stream.failRead && ++stream.dataCalls == 2) return 1;
  uint32_t piece = file.size - stream.offset;
  if (piece > 3000) piece = 3000;
  if (piece > *count) piece = *count;
  auto* data = static_cast<uint8_t*>(buffer);
  uint32_t index = stream.indexBase + static_cast<uint32_t>(stream.file);
  for (uint32_t i = 0; i < piece; ++i) data[i] = FakeByte(index, stream.offset + i);
  stream.offset += piece;
  *count = piece;
  return 0;
}

__declspec(dllexport) uint32_t DSAEndBackup(uint32_t, uint32_t status) {
  log("end " + std::to_string(status));
  return 0;
}

namespace {
// The file of the session that is open, if any.
ferry::UniqueFile restoreFile;
bool restoreFirstData = false;
}  // namespace

__declspec(dllexport) uint32_t DSABeginRestore(uint32_t, const char* name, uint32_t options,
                                               uint32_t* restoreId, uint32_t* ioUnitId) {
  log("restore-begin " + std::string(name) + " " + std::to_string(options));
  *restoreId = 1;
  *ioUnitId = 7;
  return restoreFile ? 9 : 0;
}

__declspec(dllexport) uint32_t
    DSAWrite(uint32_t, uint32_t, uint32_t, const void* buffer, uint32_t* bytes) {
  const auto* block = static_cast<const uint8_t*>(buffer);
  if (!restoreFile) {
    if (*bytes != 1024) return 9;
    std::string path(reinterpret_cast<const char*>(block) + 512);
    log("restore-header " + path);
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1)) {
      CreateDirectoryA(path.substr(0, at).c_str(), nullptr);  // existing folders are fine
    }
    restoreFile.reset(
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    restoreFirstData = true;
    return restoreFile ? 0 : 10000 + GetLastError();
  }
  std::string copy(reinterpret_cast<const char*>(block), *bytes);
  if (restoreFirstData && mode() == "restore-corrupt" && !copy.empty()) copy[0] ^= 1;
  restoreFirstData = false;
  DWORD written = 0;
  if (!WriteFile(restoreFile.get(), copy.data(), *bytes, &written, nullptr) || written != *bytes) {
    return 1;
  }
  return 0;
}

__declspec(dllexport) uint32_t DSAEndRestore(uint32_t, uint32_t status) {
  log("restore-end " + std::to_string(status));
  restoreFile.reset();
  return 0;
}

}  // extern "C"
