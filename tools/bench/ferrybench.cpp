// ferrybench.exe: how fast the agent delivers a database's data through DSARead, against reading
// the same files directly. Not a test: it prints figures and judges nothing.
//
// It creates a simulated installation (code FN) with one database of two data locations
// (--size-mib, default 1024, split into four files), copies the testbed agent with its
// companions and the extractor into a folder of its own, backs up "<db>.DATA" through the
// agent discarding the data, then reads the delivered files directly (CreateFile with
// FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN, the same 1 MiB sector-aligned buffer), and
// prints both throughputs, their ratio and the process's peak memory. Everything it made is
// removed at the end, also after a failure.
//
// Both passes read files that were just written, so both are served from the host's cache
// under Wine; the figures compare the agent's path against a plain read, not disk speed.
#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "agent_library.h"
#include "ferryman.h"
#include "ingsim/installation.h"
#include "ingsim/win_util.h"
#include "object_header.h"
#include "unique_handle.h"

namespace {

constexpr char kCode[] = "FN";
constexpr char kRoot[] = "C:\\ferrybench\\FN";
constexpr char kSecondArea[] = "C:\\ferrybench\\FN_loc2";
constexpr char kAgentFolder[] = "C:\\ferrybench\\agent";
constexpr char kWorkFolder[] = "C:\\ferrybench";
constexpr char kDatabase[] = "benchdb";
constexpr char kAccount[] = "ingres";
constexpr char kPassword[] = "bench-pw";
constexpr size_t kBufferSize = 1u << 20;

double now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double mib(uint64_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

std::string folderOf(const std::string& path) { return path.substr(0, path.find_last_of('\\')); }

std::string agentText(const ferry::ctl::AgentEntryPoints& agent, DSA_RESULT code) {
  char text[1300] = {};
  uint32_t length = 0;
  agent.getError(0, code, text, &length);
  return std::to_string(code) + ": " + text;
}

// Everything the benchmark made, removed whatever happened.
struct Cleanup {
  std::string savedMachineRoot;
  bool hadMachineRoot = false;
  std::string savedDirectory;
  ~Cleanup() {
    SetCurrentDirectoryA(savedDirectory.c_str());
    ingsim::removeInstallation(kCode);
    ingsim::removeAccount(kAccount);
    ingsim::removeTree(kRoot);
    ingsim::removeTree(kSecondArea);
    ingsim::removeTree(kAgentFolder);
    ingsim::removeTree(kWorkFolder);
    // Connecting points the machine-wide II_SYSTEM at the installation: put it back.
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                      "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", 0,
                      KEY_WRITE, &key) == ERROR_SUCCESS) {
      if (hadMachineRoot) {
        RegSetValueExA(key, "II_SYSTEM", 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(savedMachineRoot.c_str()),
                       static_cast<DWORD>(savedMachineRoot.size() + 1));
      } else {
        RegDeleteValueA(key, "II_SYSTEM");
      }
      RegCloseKey(key);
    }
  }
};

int fail(const std::string& message) {
  std::fprintf(stderr, "ferrybench: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t sizeMib = 1024;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--size-mib") == 0 && i + 1 < argc) {
      sizeMib = std::strtoull(argv[++i], nullptr, 10);
    } else {
      std::fprintf(stderr, "usage: ferrybench [--size-mib N]   (default 1024, at least 4)\n");
      return 2;
    }
  }
  if (sizeMib < 4) return fail("--size-mib must be at least 4");

  char programPath[MAX_PATH * 2] = {};
  GetModuleFileNameA(nullptr, programPath, sizeof programPath);
  const std::string bin = folderOf(programPath);

  Cleanup cleanup;
  {
    char value[1024] = {};
    DWORD size = sizeof value;
    cleanup.hadMachineRoot =
        RegGetValueA(HKEY_LOCAL_MACHINE,
                     "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment",
                     "II_SYSTEM", RRF_RT_REG_SZ, nullptr, value, &size) == ERROR_SUCCESS;
    cleanup.savedMachineRoot = cleanup.hadMachineRoot ? value : "";
    GetCurrentDirectoryA(sizeof value, value);
    cleanup.savedDirectory = value;
  }
  ingsim::removeInstallation(kCode);  // leftovers of an interrupted run
  ingsim::removeTree(kWorkFolder);
  if (std::string e = ingsim::makeDirectories(kAgentFolder); !e.empty()) return fail(e);
  // Whatever a utility writes relative to the current drive lands in the work folder's drive.
  SetCurrentDirectoryA(kWorkFolder);

  // The agent with its companions and the extractor, as an installed agent folder holds them.
  for (const char* name :
       {"ferryman.dll", "sounder26.dll", "sounder30.dll", "ferryres.dll", "basetool.dll"}) {
    std::string from = bin + "\\testbed\\" + name;
    if (!CopyFileA(from.c_str(), (std::string(kAgentFolder) + "\\" + name).c_str(), FALSE)) {
      return fail("cannot copy " + from + ": error " + std::to_string(GetLastError()));
    }
  }
  if (!CopyFileA((bin + "\\siphon.exe").c_str(),
                 (std::string(kAgentFolder) + "\\siphon.exe").c_str(), FALSE)) {
    return fail("cannot copy siphon.exe: error " + std::to_string(GetLastError()));
  }

  std::printf("creating installation %s with database %s: %llu MiB in 4 files, 2 locations\n",
              kCode, kDatabase, static_cast<unsigned long long>(sizeMib));
  std::fflush(stdout);
  double t0 = now();
  ingsim::InstallationOptions options;
  options.root = kRoot;
  options.code = kCode;
  options.overwrite = true;
  options.addToMachinePath = false;
  if (std::string e = ingsim::createInstallation(options); !e.empty()) return fail(e);
  const uint64_t fileSize = (sizeMib << 20) / 4;
  ingsim::DatabaseOptions db;
  db.name = kDatabase;
  db.locations = {{"", {{"aaaaaaab.t00", fileSize}, {"aaaaaaac.t00", fileSize}}},
                  {kSecondArea, {{"aaaaaaad.t00", fileSize}, {"aaaaaaae.t00", fileSize}}}};
  if (std::string e = ingsim::addDatabase(kCode, db); !e.empty()) return fail(e);
  if (std::string e = ingsim::addAccount({kAccount, kPassword, ""}); !e.empty()) return fail(e);
  std::printf("  made in %.1f s\n", now() - t0);

  // Bound as the backup console binds it.
  ferry::ctl::AgentLibrary library;
  if (std::string e = library.load(std::string(kAgentFolder) + "\\ferryman.dll"); !e.empty()) {
    return fail(e);
  }
  if (std::string e = library.requireEntryPoints(ferry::ctl::EntryPointSet::kBackup); !e.empty()) {
    return fail(e);
  }
  const ferry::ctl::AgentEntryPoints& agent = library.entryPoints();

  auto* buffer = static_cast<uint8_t*>(
      VirtualAlloc(nullptr, kBufferSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  if (buffer == nullptr) return fail("VirtualAlloc failed");

  // ---- through the agent ----
  uint32_t connection = 0;
  std::string instance = std::string("server@") + kCode;
  if (DSA_RESULT rc = agent.connectAgent(0, instance.c_str(), kAccount, kPassword, &connection)) {
    return fail("DSAConnectAgent: " + agentText(agent, rc));
  }
  std::string objectName = std::string(kDatabase) + ".DATA";
  std::vector<char> name(objectName.begin(), objectName.end());
  name.push_back('\0');
  uint32_t backupId = 0;
  uint32_t remoteArg = 0;
  const double beginAt = now();
  if (DSA_RESULT rc = agent.beginBackup(connection, name.data(), 0, &backupId, &remoteArg)) {
    agent.endBackup(connection, rc);
    agent.disconnectAgent(connection);
    return fail("DSABeginBackup: " + agentText(agent, rc));
  }
  const double readAt = now();
  std::vector<std::string> files;
  uint64_t agentBytes = 0;
  bool inFile = false;
  DSA_RESULT failure = 0;
  for (;;) {
    uint32_t count = kBufferSize;
    DSA_RESULT rc = agent.read(connection, backupId, 0, buffer, &count);
    if (rc == DSA_END_OF_OBJECT) {
      inFile = false;
      continue;
    }
    if (rc != 0) {
      failure = rc;
      break;
    }
    if (!inFile) {
      if (count == 0) break;
      files.emplace_back(ferry::header::pathOf(buffer));
      inFile = true;
      continue;
    }
    agentBytes += count;  // the data are discarded
  }
  const double readDone = now();
  agent.endBackup(connection, failure);
  const double endDone = now();
  agent.disconnectAgent(connection);
  if (failure != 0) return fail("DSARead: " + agentText(agent, failure));

  // ---- directly ----
  uint64_t directBytes = 0;
  const double directAt = now();
  for (const std::string& path : files) {
    ferry::UniqueFile file(
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                    FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return fail("cannot open " + path + ": error " + std::to_string(GetLastError()));
    for (;;) {
      DWORD got = 0;
      if (!ReadFile(file.get(), buffer, kBufferSize, &got, nullptr)) {
        return fail("cannot read " + path + ": error " + std::to_string(GetLastError()));
      }
      if (got == 0) break;
      directBytes += got;
    }
  }
  const double directDone = now();
  VirtualFree(buffer, 0, MEM_RELEASE);

  const double agentSeconds = readDone - readAt;
  const double directSeconds = directDone - directAt;
  const double agentRate = agentSeconds > 0 ? mib(agentBytes) / agentSeconds : 0;
  const double directRate = directSeconds > 0 ? mib(directBytes) / directSeconds : 0;
  std::printf("through the agent: %llu bytes in %zu files\n",
              static_cast<unsigned long long>(agentBytes), files.size());
  std::printf("  DSABeginBackup (checkpoint run, extractor connect)  %8.2f s\n", readAt - beginAt);
  std::printf("  DSARead to the end of the object                    %8.2f s  %9.1f MiB/s\n",
              agentSeconds, agentRate);
  std::printf("  DSAEndBackup                                        %8.2f s\n",
              endDone - readDone);
  std::printf("  begin to end                                        %8.2f s  %9.1f MiB/s\n",
              endDone - beginAt, mib(agentBytes) / (endDone - beginAt));
  std::printf("directly (no buffering, sequential scan): %llu bytes\n",
              static_cast<unsigned long long>(directBytes));
  std::printf("  read                                                %8.2f s  %9.1f MiB/s\n",
              directSeconds, directRate);
  if (directRate > 0) {
    std::printf("ratio agent / direct (read phases): %.2f\n", agentRate / directRate);
  }
  if (agentBytes != directBytes) {
    std::printf("note: the agent delivered %llu bytes, the files hold %llu\n",
                static_cast<unsigned long long>(agentBytes),
                static_cast<unsigned long long>(directBytes));
  }
  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof memory;
  if (GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory)) {
    std::printf("peak working set %.1f MiB, peak pagefile usage %.1f MiB (buffer %zu KiB)\n",
                mib(memory.PeakWorkingSetSize), mib(memory.PeakPagefileUsage), kBufferSize / 1024);
  }
  std::printf("cleaning up\n");
  return 0;
}
