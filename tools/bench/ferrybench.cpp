// ferrybench.exe: how fast the agent moves a database's data, against plain reads and writes of
// the same files in the same run. Not a test: it prints figures and judges nothing.
//
// It creates a simulated installation (code FN) with one database of two data locations
// (--size-mib, default 1024, split into four files) and copies the testbed agent with its
// companions and the extractor into a folder of its own. Each round then runs four comparisons,
// the agent's pass and the direct pass in turn, the agent first in odd rounds and second in even
// ones, so that neither profits from what the other left in the host's cache:
//   backup through DSARead               against reading the files directly
//   restore through DSAWrite             against writing the files directly
//   remote backup through the remote pipe  against reading the files directly
//   remote restore through the remote pipe against writing the files directly
// The direct passes use the agent's buffer size (1 MiB, sector aligned) and the agent's flags.
// Each agent pass is split into the streaming time (the calls or messages that carry data), the
// work per file (headers, file ends), the change of location and the fixed waits (the start
// check of the utility, the end of its run); each figure is printed as the median of the rounds
// with its smallest and largest value. Two floors are measured beside them: the remote pipe alone
// (the agent's message sizes between two threads, which under Wine pass through the wine server)
// and an extractor's bare start and end (what a change of location cannot avoid: the utility
// starts the next location's extractor as a new process).
//
// Afterwards it runs itself twice with --memory-probe, on a small and a large database, and
// prints the peak memory of each probe: one backup and one restore of each kind.
//
// Both kinds of pass read files that were just written, so reads are served from the host's
// cache under Wine; the figures compare the agent's path against a plain read or write, not
// disk speed. Writes go into the host's cache and are flushed at each file's end (both passes
// flush); the host may slow a writer down to its disk's speed while it writes back, in either
// pass, so the restore figures vary more than the others. Everything it made is removed at the end,
// also after a failure.
#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "agent_library.h"
#include "aligned_buffer.h"
#include "ferryman.h"
#include "ingsim/installation.h"
#include "ingsim/win_util.h"
#include "media_pipe.h"
#include "object_header.h"
#include "process_information.h"
#include "registry_root.h"
#include "remote_stream.h"
#include "unique_handle.h"

namespace {

constexpr char kCode[] = "FN";
constexpr char kRoot[] = "C:\\ferrybench\\FN";
constexpr char kSecondArea[] = "C:\\ferrybench\\FN_loc2";
constexpr char kAgentFolder[] = "C:\\ferrybench\\agent";
constexpr char kWorkFolder[] = "C:\\ferrybench";
constexpr char kProbeResult[] = "C:\\ferrybench-probe.txt";
constexpr char kDatabase[] = "benchdb";
constexpr char kAccount[] = "ingres";
constexpr char kPassword[] = "bench-pw";
constexpr size_t kBufferSize = 1u << 20;
// How long the bench waits for one message of the remote pipe, or for one to be taken.
constexpr DWORD kPipeWaitMs = 120000;
// The pipe is there once the begin call returned; the bench tries again at once.
constexpr ferry::media::PipeWaits kPipeWaits{/*openMs=*/kPipeWaitMs, /*retryMs=*/1,
                                             /*messageMs=*/kPipeWaitMs};

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

struct Failure {
  std::string text;
};

// Where one pass spent its time. The agent's passes fill every field; the direct ones the
// streaming time and the work per file (open, flush, close).
struct Pass {
  uint64_t bytes = 0;
  uint64_t calls = 0;  // the calls or messages that carried data
  size_t files = 0;
  double stream = 0;     // in the calls that carried data
  double perFile = 0;    // headers, file ends, opens and closes
  double locations = 0;  // the changes of location and the end of the last one
  int locationEvents = 0;
  double fixed = 0;  // the utility's start check and the end of its run
};

// The values of one figure over the rounds.
class Samples {
 public:
  void add(double value) { values_.push_back(value); }
  double median() const {
    std::vector<double> sorted = values_;
    std::sort(sorted.begin(), sorted.end());
    const size_t n = sorted.size();
    return n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
  }
  double low() const { return *std::min_element(values_.begin(), values_.end()); }
  double high() const { return *std::max_element(values_.begin(), values_.end()); }

 private:
  std::vector<double> values_;
};

// Every figure by its printed name, in the order of the first value given.
class Figures {
 public:
  void add(const std::string& name, const char* unit, double value) {
    if (!samples_.count(name)) order_.push_back({name, unit});
    samples_[name].add(value);
  }
  void print() const {
    for (const auto& [name, unit] : order_) {
      const Samples& s = samples_.at(name);
      std::printf("  %-56s %10.3f %-6s [%.3f .. %.3f]\n", name.c_str(), s.median(), unit, s.low(),
                  s.high());
    }
  }
  double median(const std::string& name) const {
    auto found = samples_.find(name);
    return found == samples_.end() ? 0 : found->second.median();
  }

 private:
  std::vector<std::pair<std::string, const char*>> order_;
  std::map<std::string, Samples> samples_;
};

// A file the agent delivered: its header (given back to the agent by the restores) and size.
struct DeliveredFile {
  std::vector<uint8_t> header;
  std::string path;
  uint64_t bytes = 0;
};

class Bench {
 public:
  Bench(const ferry::ctl::AgentEntryPoints& agent, uint8_t* buffer)
      : agent_(agent), buffer_(buffer) {}

  Pass backup(bool remote);
  Pass restore(bool remote);
  Pass directRead();
  Pass directWrite();
  // The floor of the remote paths: `bytes` in messages of `messageSize` through a pipe made as
  // the agent makes its remote pipe, one thread writing as the agent does, this one reading.
  Pass pipeAlone(size_t messageSize, uint64_t bytes);

 private:
  // A connection of the agent's, let go when a failure leaves the pass early.
  class Connection {
   public:
    Connection(const ferry::ctl::AgentEntryPoints& agent, uint32_t id) : agent_(agent), id_(id) {}
    ~Connection() {
      if (id_ != 0) agent_.disconnectAgent(id_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    uint32_t id() const { return id_; }
    // The disconnect of a pass that went well: its result.
    DSA_RESULT close() {
      const DSA_RESULT result = agent_.disconnectAgent(id_);
      id_ = 0;
      return result;
    }

   private:
    const ferry::ctl::AgentEntryPoints& agent_;
    uint32_t id_;
  };
  uint32_t connect();
  std::string agentText(DSA_RESULT code) const;
  [[noreturn]] void agentFailed(const std::string& call, DSA_RESULT code) const {
    throw Failure{call + ": " + agentText(code)};
  }
  void noteFile(const uint8_t* header, Pass* pass, double seconds, const std::string& previous);

  const ferry::ctl::AgentEntryPoints& agent_;
  uint8_t* buffer_;
  std::vector<DeliveredFile> files_;
};

// Opens the remote pipe (or the floor's pipe) as the media side's client.
void openPipe(ferry::media::MediaPipe& pipe, const std::string& name, ferry::media::Side side) {
  ferry::media::MediaPipe::Step step = ferry::media::MediaPipe::Step::kOpen;
  if (DWORD error = pipe.open(name, side, /*stopEvent=*/nullptr, &step); error != 0) {
    throw Failure{(step == ferry::media::MediaPipe::Step::kOpen
                       ? "cannot open " + name
                       : "cannot read " + name + " by messages") +
                  ": error " + std::to_string(error)};
  }
}

std::string Bench::agentText(DSA_RESULT code) const {
  char text[1300] = {};
  uint32_t length = 0;
  agent_.getError(0, code, text, &length);
  return std::to_string(code) + ": " + text;
}

uint32_t Bench::connect() {
  uint32_t connection = 0;
  const std::string instance = std::string("server@") + kCode;
  if (DSA_RESULT rc = agent_.connectAgent(0, instance.c_str(), kAccount, kPassword, &connection)) {
    agentFailed("DSAConnectAgent", rc);
  }
  return connection;
}

// A header of the backup: the first file of a location other than the previous file's is a
// change of location, every other header is work per file.
void Bench::noteFile(const uint8_t* header, Pass* pass, double seconds,
                     const std::string& previous) {
  DeliveredFile file;
  file.header.assign(header, header + ferry::header::kSize);
  file.path = std::string(ferry::header::pathOf(header));
  if (!previous.empty() && folderOf(previous) != folderOf(file.path)) {
    pass->locations += seconds;
    ++pass->locationEvents;
  } else {
    pass->perFile += seconds;
  }
  files_.push_back(std::move(file));
  ++pass->files;
}

Pass Bench::backup(bool remote) {
  Pass pass;
  Connection session(agent_, connect());
  const uint32_t connection = session.id();
  std::string objectName = std::string(kDatabase) + ".DATA";
  std::vector<char> name(objectName.begin(), objectName.end());
  name.push_back('\0');
  uint32_t backupId = 0;
  uint32_t remoteArg = 0;
  double at = now();
  const uint32_t options = remote ? DSA_OPTION_REMOTE : 0;
  if (DSA_RESULT rc = agent_.beginBackup(connection, name.data(), options, &backupId, &remoteArg)) {
    agent_.endBackup(connection, rc);
    agentFailed("DSABeginBackup", rc);
  }
  pass.fixed += now() - at;
  files_.clear();
  ferry::media::MediaPipe pipe(kPipeWaits);
  if (remote) {
    openPipe(
        pipe,
        ferry::remote::pipeName(kCode, static_cast<int>(backupId), static_cast<int>(remoteArg)),
        ferry::media::Side::kBackup);
  }
  DSA_RESULT failure = 0;
  bool inFile = false;
  std::string previous;
  // The first header always comes from DSARead; a remote backup's other pieces from the pipe.
  for (bool first = true;; first = false) {
    uint32_t count = kBufferSize;
    at = now();
    DSA_RESULT rc = 0;
    bool closed = false;
    if (!remote || first) {
      rc = agent_.read(connection, backupId, 0, buffer_, &count);
    } else {
      DWORD got = 0;
      const DWORD error = pipe.readMessage(buffer_, ferry::remote::kBackupMessageSize, &got);
      if (ferry::media::isEndOfStream(error)) {
        closed = true;
      } else if (error != 0) {
        throw Failure{"reading the remote pipe: error " + std::to_string(error)};
      } else if (inFile && ferry::remote::isEndMarker(buffer_, got)) {
        rc = DSA_END_OF_OBJECT;
      }
      count = got;
    }
    const double seconds = now() - at;
    if (closed) {
      // The pipe's end between files: the agent says how the object went.
      pass.locations += seconds;
      at = now();
      count = kBufferSize;
      rc = agent_.read(connection, backupId, 0, buffer_, &count);
      pass.locations += now() - at;
      ++pass.locationEvents;
      if (rc != 0 || inFile) failure = rc != 0 ? rc : DSA_ERROR_REMOTE_STREAM;
      break;
    }
    if (rc == DSA_END_OF_OBJECT) {
      inFile = false;
      pass.perFile += seconds;
      continue;
    }
    if (rc != 0) {
      failure = rc;
      break;
    }
    if (!inFile) {
      if (count == 0) {  // the end of the last location
        pass.locations += seconds;
        ++pass.locationEvents;
        break;
      }
      noteFile(buffer_, &pass, seconds, previous);
      previous = files_.back().path;
      inFile = true;
      continue;
    }
    pass.stream += seconds;
    pass.bytes += count;
    files_.back().bytes += count;
    ++pass.calls;
  }
  pipe.close();
  at = now();
  const DSA_RESULT ended = agent_.endBackup(connection, failure);
  pass.fixed += now() - at;
  session.close();
  if (failure != 0) agentFailed("DSARead", failure);
  if (ended != 0) agentFailed("DSAEndBackup", ended);
  return pass;
}

Pass Bench::restore(bool remote) {
  if (files_.empty()) throw Failure{"no backup to restore"};
  Pass pass;
  Connection session(agent_, connect());
  const uint32_t connection = session.id();
  const std::string objectName = std::string(kDatabase) + ".DATA";
  ferry::media::MediaPipe pipe(kPipeWaits);
  std::string previous;
  // The data given: whatever the buffer holds; the restore overwrites the database's files.
  for (size_t i = 0; i < files_.size(); ++i) {
    const DeliveredFile& file = files_[i];
    uint32_t restoreId = 0;
    uint32_t ioUnitId = 0;
    double at = now();
    const uint32_t options = remote ? DSA_OPTION_REMOTE : 0;
    if (DSA_RESULT rc =
            agent_.beginRestore(connection, objectName.c_str(), options, &restoreId, &ioUnitId)) {
      agentFailed("DSABeginRestore", rc);
    }
    if (remote) {
      openPipe(
          pipe,
          ferry::remote::pipeName(kCode, static_cast<int>(restoreId), static_cast<int>(ioUnitId)),
          ferry::media::Side::kRestore);
    }
    pass.perFile += now() - at;
    std::memcpy(buffer_, file.header.data(), file.header.size());
    uint32_t count = static_cast<uint32_t>(file.header.size());
    at = now();
    if (DSA_RESULT rc = agent_.write(connection, 0, 0, buffer_, &count)) {
      agentFailed("DSAWrite(header of " + file.path + ")", rc);
    }
    const double seconds = now() - at;
    if (i == 0) {
      pass.fixed += seconds;  // the roll forward's start
    } else if (folderOf(previous) != folderOf(file.path)) {
      pass.locations += seconds;
      ++pass.locationEvents;
    } else {
      pass.perFile += seconds;
    }
    previous = file.path;
    std::memset(buffer_, 0x5a, kBufferSize);
    const size_t block = remote ? ferry::remote::kRestoreMessageSize : kBufferSize;
    for (uint64_t left = file.bytes; left > 0;) {
      const DWORD size = static_cast<DWORD>(std::min<uint64_t>(left, block));
      at = now();
      if (remote) {
        if (DWORD error = pipe.writeMessage(buffer_, size); error != 0) {
          throw Failure{"writing the remote pipe: error " + std::to_string(error)};
        }
      } else {
        uint32_t n = size;
        if (DSA_RESULT rc = agent_.write(connection, 0, 0, buffer_, &n)) {
          agentFailed("DSAWrite(" + file.path + ")", rc);
        }
      }
      pass.stream += now() - at;
      pass.bytes += size;
      ++pass.calls;
      left -= size;
    }
    at = now();
    if (remote) {
      if (DWORD error = pipe.endFile(); error != 0) {
        throw Failure{"writing the end of a file on the remote pipe: error " +
                      std::to_string(error)};
      }
    }
    if (DSA_RESULT rc = agent_.endRestore(connection, 0)) {
      agentFailed("DSAEndRestore(" + file.path + ")", rc);
    }
    pipe.close();
    pass.perFile += now() - at;
    ++pass.files;
  }
  const double at = now();
  // The disconnect ends the data restore: the last release and the roll forward's end.
  if (DSA_RESULT rc = session.close()) agentFailed("DSADisconnectAgent", rc);
  pass.fixed += now() - at;
  return pass;
}

Pass Bench::directRead() {
  Pass pass;
  for (const DeliveredFile& delivered : files_) {
    double at = now();
    // As the agent opens a file it backs up.
    ferry::UniqueFile file(CreateFileA(
        delivered.path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_EXISTING,
        FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) {
      throw Failure{"cannot open " + delivered.path + ": error " + std::to_string(GetLastError())};
    }
    pass.perFile += now() - at;
    for (;;) {
      DWORD got = 0;
      at = now();
      if (!ReadFile(file.get(), buffer_, kBufferSize, &got, nullptr)) {
        throw Failure{"cannot read " + delivered.path + ": error " +
                      std::to_string(GetLastError())};
      }
      if (got == 0) break;
      pass.stream += now() - at;
      pass.bytes += got;
      ++pass.calls;
    }
    at = now();
    file.reset();
    pass.perFile += now() - at;
    ++pass.files;
  }
  return pass;
}

Pass Bench::directWrite() {
  Pass pass;
  std::memset(buffer_, 0x5a, kBufferSize);
  for (const DeliveredFile& delivered : files_) {
    // Beside the database's file, as the agent writes it, and with the agent's flags.
    const std::string path = delivered.path + ".direct";
    double at = now();
    ferry::UniqueFile file(
        CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) throw Failure{"cannot create " + path + ": error " + std::to_string(GetLastError())};
    pass.perFile += now() - at;
    for (uint64_t left = delivered.bytes; left > 0;) {
      const DWORD size = static_cast<DWORD>(std::min<uint64_t>(left, kBufferSize));
      DWORD written = 0;
      at = now();
      if (!WriteFile(file.get(), buffer_, size, &written, nullptr) || written != size) {
        throw Failure{"cannot write " + path + ": error " + std::to_string(GetLastError())};
      }
      pass.stream += now() - at;
      pass.bytes += size;
      ++pass.calls;
      left -= size;
    }
    at = now();
    FlushFileBuffers(file.get());
    file.reset();
    pass.perFile += now() - at;
    DeleteFileA(path.c_str());
    ++pass.files;
  }
  return pass;
}

Pass Bench::pipeAlone(size_t messageSize, uint64_t bytes) {
  const std::string name = "\\\\.\\pipe\\ferrybench-floor";
  ferry::UniqueFile server(CreateNamedPipeA(
      name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
      PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, static_cast<DWORD>(messageSize),
      static_cast<DWORD>(messageSize), 0, nullptr));
  if (!server) throw Failure{"cannot create " + name + ": error " + std::to_string(GetLastError())};
  struct Writer {
    HANDLE pipe;
    size_t messageSize;
    uint64_t bytes;
    DWORD error = 0;
    static DWORD WINAPI run(void* parameter) {
      auto* self = static_cast<Writer*>(parameter);
      std::vector<uint8_t> data(self->messageSize, 0x5a);
      ferry::UniqueHandleNull event(CreateEventA(nullptr, FALSE, FALSE, nullptr));
      OVERLAPPED overlapped{};
      overlapped.hEvent = event.get();
      if (!ConnectNamedPipe(self->pipe, &overlapped) && GetLastError() == ERROR_IO_PENDING) {
        if (WaitForSingleObject(event.get(), kPipeWaitMs) != WAIT_OBJECT_0) {
          self->error = ERROR_TIMEOUT;
          return 0;
        }
      }
      for (uint64_t left = self->bytes; left > 0;) {
        const DWORD size = static_cast<DWORD>(std::min<uint64_t>(left, self->messageSize));
        overlapped = OVERLAPPED{};
        overlapped.hEvent = event.get();
        DWORD done = 0;
        if (!WriteFile(self->pipe, data.data(), size, nullptr, &overlapped) &&
            GetLastError() != ERROR_IO_PENDING) {
          self->error = GetLastError();
          return 0;
        }
        if (WaitForSingleObject(event.get(), kPipeWaitMs) != WAIT_OBJECT_0 ||
            !GetOverlappedResult(self->pipe, &overlapped, &done, FALSE) || done != size) {
          self->error = ERROR_WRITE_FAULT;
          return 0;
        }
        left -= size;
      }
      FlushFileBuffers(self->pipe);
      DisconnectNamedPipe(self->pipe);
      return 0;
    }
  } writer{server.get(), messageSize, bytes};
  ferry::UniqueHandleNull thread(CreateThread(nullptr, 0, Writer::run, &writer, 0, nullptr));
  if (!thread)
    throw Failure{"cannot start the pipe writer: error " + std::to_string(GetLastError())};
  Pass pass;
  {
    ferry::media::MediaPipe client(kPipeWaits);
    openPipe(client, name, ferry::media::Side::kBackup);
    for (;;) {
      DWORD got = 0;
      const double at = now();
      const DWORD error = client.readMessage(buffer_, static_cast<DWORD>(messageSize), &got);
      if (ferry::media::isEndOfStream(error)) break;
      if (error != 0) throw Failure{"reading " + name + ": error " + std::to_string(error)};
      pass.stream += now() - at;
      pass.bytes += got;
      ++pass.calls;
    }
  }
  if (WaitForSingleObject(thread.get(), kPipeWaitMs) != WAIT_OBJECT_0 || writer.error != 0) {
    throw Failure{"the pipe writer failed: error " + std::to_string(writer.error)};
  }
  return pass;
}

// What a change of location cannot avoid under Wine: the utility starts the next location's
// extractor as a new process once the last one has ended. Measured as the time from the start of
// the extractor (with no arguments: it prints its usage and ends) to its end; milliseconds.
double extractorStartAndEnd() {
  std::string command = std::string(kAgentFolder) + "\\siphon.exe";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;  // its usage text goes nowhere
  ferry::UniqueProcessInformation process;
  const double at = now();
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &startup, process.put())) {
    throw Failure{"cannot start " + command + ": error " + std::to_string(GetLastError())};
  }
  if (WaitForSingleObject(process.process(), kPipeWaitMs) != WAIT_OBJECT_0) {
    TerminateProcess(process.process(), 1);
    throw Failure{command + " did not end"};
  }
  return (now() - at) * 1e3;
}

// The agent's settings key of the bench's instance: "debug" 1 turns its tracing on.
std::string agentSettingsKey() {
  return std::string(ferry::kProductRegistryRoot) + "\\DSAgent\\CurrentVersion\\agent\\ferryman@" +
         kCode;
}

void setAgentTracing(bool on) {
  const std::string name = agentSettingsKey();
  if (!on) {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, name.c_str());
    return;
  }
  ferry::UniqueKey key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_WRITE, nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
    throw Failure{"cannot create the key " + name};
  }
  const DWORD debug = 1;
  RegSetValueExA(key.get(), "debug", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&debug),
                 sizeof debug);
}

// Everything the benchmark made, removed whatever happened.
struct Cleanup {
  std::string savedMachineRoot;
  bool hadMachineRoot = false;
  std::string savedDirectory;
  Cleanup() {
    char value[1024] = {};
    DWORD size = sizeof value;
    hadMachineRoot =
        RegGetValueA(HKEY_LOCAL_MACHINE,
                     "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment",
                     "II_SYSTEM", RRF_RT_REG_SZ, nullptr, value, &size) == ERROR_SUCCESS;
    savedMachineRoot = hadMachineRoot ? value : "";
    GetCurrentDirectoryA(sizeof value, value);
    savedDirectory = value;
  }
  std::string keepTrace;  // where the agent's trace goes before its folder is removed
  ~Cleanup() {
    SetCurrentDirectoryA(savedDirectory.c_str());
    if (!keepTrace.empty()) {
      CopyFileA((std::string(kAgentFolder) + "\\ferryman.trc").c_str(), keepTrace.c_str(), FALSE);
      setAgentTracing(false);
    }
    ingsim::removeInstallation(kCode);
    ingsim::removeAccount(kAccount);
    ingsim::removeTree(kRoot);
    ingsim::removeTree(kSecondArea);
    ingsim::removeTree(kAgentFolder);
    ingsim::removeTree(kWorkFolder);
    // Connecting points the machine-wide II_SYSTEM at the installation: put it back.
    ferry::UniqueKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                      "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", 0,
                      KEY_WRITE, key.put()) == ERROR_SUCCESS) {
      if (hadMachineRoot) {
        RegSetValueExA(key.get(), "II_SYSTEM", 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(savedMachineRoot.c_str()),
                       static_cast<DWORD>(savedMachineRoot.size() + 1));
      } else {
        RegDeleteValueA(key.get(), "II_SYSTEM");
      }
    }
  }
};

// The installation, its database and the agent folder.
void prepare(const std::string& bin, uint64_t sizeMib) {
  ingsim::removeInstallation(kCode);  // leftovers of an interrupted run
  ingsim::removeTree(kWorkFolder);
  if (std::string e = ingsim::makeDirectories(kAgentFolder); !e.empty()) throw Failure{e};
  // Whatever a utility writes relative to the current drive lands in the work folder's drive.
  SetCurrentDirectoryA(kWorkFolder);
  // The agent with its companions and the extractor, as an installed agent folder holds them.
  const std::string testbed = bin + "\\testbed\\";
  const std::pair<std::string, const char*> copies[] = {
      {testbed + "ferryman.dll", "ferryman.dll"},   {testbed + "sounder26.dll", "sounder26.dll"},
      {testbed + "sounder30.dll", "sounder30.dll"}, {testbed + "ferryres.dll", "ferryres.dll"},
      {testbed + "basetool.dll", "basetool.dll"},   {bin + "\\siphon.exe", "siphon.exe"}};
  for (const auto& [from, name] : copies) {
    const std::string to = std::string(kAgentFolder) + "\\" + name;
    if (!CopyFileA(from.c_str(), to.c_str(), FALSE)) {
      throw Failure{"cannot copy " + from + ": error " + std::to_string(GetLastError())};
    }
  }
  ingsim::InstallationOptions options;
  options.root = kRoot;
  options.code = kCode;
  options.overwrite = true;
  options.addToMachinePath = false;
  if (std::string e = ingsim::createInstallation(options); !e.empty()) throw Failure{e};
  const uint64_t fileSize = (sizeMib << 20) / 4;
  ingsim::DatabaseOptions db;
  db.name = kDatabase;
  db.locations = {{"", {{"aaaaaaab.t00", fileSize}, {"aaaaaaac.t00", fileSize}}},
                  {kSecondArea, {{"aaaaaaad.t00", fileSize}, {"aaaaaaae.t00", fileSize}}}};
  if (std::string e = ingsim::addDatabase(kCode, db); !e.empty()) throw Failure{e};
  if (std::string e = ingsim::addAccount({kAccount, kPassword, ""}); !e.empty()) throw Failure{e};
}

struct Memory {
  double workingSet = 0;
  double pagefile = 0;
};

Memory peakMemory() {
  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof memory;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory)) return {};
  return {mib(memory.PeakWorkingSetSize), mib(memory.PeakPagefileUsage)};
}

// The agent's pass and its direct partner, in the round's order; their figures under `name`.
template <typename AgentPass, typename DirectPass>
void compare(Figures& figures, const std::string& name, bool agentFirst, AgentPass agentPass,
             DirectPass directPass) {
  Pass agent;
  Pass direct;
  if (agentFirst) {
    agent = agentPass();
    direct = directPass();
  } else {
    direct = directPass();
    agent = agentPass();
  }
  const double agentRate = agent.stream > 0 ? mib(agent.bytes) / agent.stream : 0;
  const double directRate = direct.stream > 0 ? mib(direct.bytes) / direct.stream : 0;
  figures.add(name + ": agent streaming", "MiB/s", agentRate);
  figures.add(name + ": direct streaming", "MiB/s", directRate);
  figures.add(name + ": ratio agent / direct", "", directRate > 0 ? agentRate / directRate : 0);
  if (agent.calls > 0 && direct.calls > 0) {
    figures.add(name + ": per data call, agent", "us", agent.stream / agent.calls * 1e6);
    figures.add(name + ": per data call, direct", "us", direct.stream / direct.calls * 1e6);
  }
  if (agent.files > 0) {
    figures.add(name + ": per file beyond direct", "ms",
                (agent.perFile / agent.files - direct.perFile / direct.files) * 1e3);
  }
  if (agent.locationEvents > 0) {
    figures.add(name + ": per change or end of location", "ms",
                agent.locations / agent.locationEvents * 1e3);
  }
  figures.add(name + ": fixed waits (start check, run end)", "s", agent.fixed);
  if (agent.bytes != direct.bytes) {
    std::printf("note: %s moved %llu bytes through the agent, %llu directly\n", name.c_str(),
                static_cast<unsigned long long>(agent.bytes),
                static_cast<unsigned long long>(direct.bytes));
  }
}

ferry::ctl::AgentLibrary loadAgent() {
  ferry::ctl::AgentLibrary library;
  if (std::string e = library.load(std::string(kAgentFolder) + "\\ferryman.dll"); !e.empty()) {
    throw Failure{e};
  }
  for (auto set : {ferry::ctl::EntryPointSet::kBackup, ferry::ctl::EntryPointSet::kRestore}) {
    if (std::string e = library.requireEntryPoints(set); !e.empty()) throw Failure{e};
  }
  return library;
}

// The agent's buffer size, page-aligned as the direct passes' unbuffered reads need.
ferry::AlignedBuffer allocateBuffer() {
  ferry::AlignedBuffer buffer(kBufferSize);
  if (!buffer.valid()) throw Failure{"VirtualAlloc failed"};
  return buffer;
}

void runComparisons(const std::string& bin, uint64_t sizeMib, int rounds,
                    const std::string& keepTrace) {
  Cleanup cleanup;
  cleanup.keepTrace = keepTrace;
  // Tracing costs a file open and a registry read per line: its figures are not the agent's.
  if (!keepTrace.empty()) setAgentTracing(true);
  std::printf("creating installation %s with database %s: %llu MiB in 4 files, 2 locations\n",
              kCode, kDatabase, static_cast<unsigned long long>(sizeMib));
  std::fflush(stdout);
  const double madeAt = now();
  prepare(bin, sizeMib);
  std::printf("  made in %.1f s; %d rounds, the agent first in odd rounds\n", now() - madeAt,
              rounds);
  std::fflush(stdout);
  ferry::ctl::AgentLibrary library = loadAgent();
  ferry::AlignedBuffer buffer = allocateBuffer();
  Bench bench(library.entryPoints(), buffer.data());
  Figures figures;
  const double startedAt = now();
  for (int round = 1; round <= rounds; ++round) {
    const bool agentFirst = round % 2 == 1;
    compare(
        figures, "backup", agentFirst, [&] { return bench.backup(false); },
        [&] { return bench.directRead(); });
    compare(
        figures, "restore", agentFirst, [&] { return bench.restore(false); },
        [&] { return bench.directWrite(); });
    compare(
        figures, "remote backup", agentFirst, [&] { return bench.backup(true); },
        [&] { return bench.directRead(); });
    compare(
        figures, "remote restore", agentFirst, [&] { return bench.restore(true); },
        [&] { return bench.directWrite(); });
    for (size_t messageSize :
         {ferry::remote::kBackupMessageSize, ferry::remote::kRestoreMessageSize}) {
      // The cost per message does not change with the amount: at most 1 GiB of it.
      const Pass floor = bench.pipeAlone(messageSize, std::min<uint64_t>(sizeMib, 1024) << 20);
      const std::string name =
          "remote pipe alone, " + std::to_string(messageSize / 1024) + " KiB messages";
      figures.add(name, "MiB/s", floor.stream > 0 ? mib(floor.bytes) / floor.stream : 0);
      figures.add(name + ", per message", "us", floor.stream / floor.calls * 1e6);
    }
    figures.add("an extractor's start and end (no work)", "ms", extractorStartAndEnd());
    std::printf("  round %d done (%.1f s)\n", round, now() - startedAt);
    std::fflush(stdout);
  }
  buffer = ferry::AlignedBuffer();
  std::printf("figures: median [smallest .. largest] of %d rounds\n", rounds);
  figures.print();
  // Under Wine every message of a named pipe passes through the wine server: the remote paths
  // are measured against that floor too.
  for (const auto& [path, floor] :
       {std::pair<std::string, std::string>{"remote backup", "remote pipe alone, 64 KiB messages"},
        {"remote restore", "remote pipe alone, 32 KiB messages"}}) {
    const double alone = figures.median(floor);
    if (alone > 0) {
      std::printf("  %-56s %10.3f\n", (path + ": agent / pipe alone (medians)").c_str(),
                  figures.median(path + ": agent streaming") / alone);
    }
  }
  std::printf("cleaning up\n");
  std::fflush(stdout);
}

// One backup and one restore of each kind; the peak memory goes to the probe's result file.
void runMemoryProbe(const std::string& bin, uint64_t sizeMib) {
  Memory peak;
  {
    Cleanup cleanup;
    prepare(bin, sizeMib);
    ferry::ctl::AgentLibrary library = loadAgent();
    ferry::AlignedBuffer buffer = allocateBuffer();
    Bench bench(library.entryPoints(), buffer.data());
    bench.backup(false);
    bench.restore(false);
    bench.backup(true);
    bench.restore(true);
    buffer = ferry::AlignedBuffer();
    peak = peakMemory();
  }
  if (ferry::UniqueStdioFile out{std::fopen(kProbeResult, "w")}) {
    std::fprintf(out.get(), "%.3f %.3f\n", peak.workingSet, peak.pagefile);
  }
}

// Runs this program with --memory-probe on a database of `sizeMib`: the probe's peak memory.
Memory probeMemory(const std::string& program, uint64_t sizeMib) {
  DeleteFileA(kProbeResult);
  std::string command = "\"" + program + "\" --memory-probe --size-mib " + std::to_string(sizeMib);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  ferry::UniqueProcessInformation process;
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, process.put())) {
    throw Failure{"cannot start the memory probe: error " + std::to_string(GetLastError())};
  }
  constexpr DWORD kProbeWaitMs = 30 * 60 * 1000;
  if (WaitForSingleObject(process.process(), kProbeWaitMs) != WAIT_OBJECT_0) {
    TerminateProcess(process.process(), 1);
    throw Failure{"the memory probe did not end within 30 minutes"};
  }
  Memory memory;
  bool read = false;
  if (ferry::UniqueStdioFile in{std::fopen(kProbeResult, "r")}) {
    read = std::fscanf(in.get(), "%lf %lf", &memory.workingSet, &memory.pagefile) == 2;
  }
  DeleteFileA(kProbeResult);
  if (!read) throw Failure{"the memory probe of " + std::to_string(sizeMib) + " MiB failed"};
  return memory;
}

}  // namespace

int main(int argc, char** argv) {
  // --quick first: the sizes given after it win.
  bool quick = false;
  for (int i = 1; i < argc; ++i) quick = quick || std::strcmp(argv[i], "--quick") == 0;
  uint64_t sizeMib = quick ? 64 : 1024;
  int rounds = 3;
  bool probe = false;
  std::string keepTrace;
  uint64_t smallMib = 64;
  uint64_t largeMib = quick ? 256 : 4096;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--size-mib") == 0 && i + 1 < argc) {
      sizeMib = std::strtoull(argv[++i], nullptr, 10);
    } else if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
      rounds = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--quick") == 0) {
      continue;
    } else if (std::strcmp(argv[i], "--keep-trace") == 0 && i + 1 < argc) {
      keepTrace = argv[++i];
    } else if (std::strcmp(argv[i], "--memory-probe") == 0) {
      probe = true;
    } else if (std::strcmp(argv[i], "--memory-sizes") == 0 && i + 2 < argc) {
      smallMib = std::strtoull(argv[++i], nullptr, 10);
      largeMib = std::strtoull(argv[++i], nullptr, 10);
    } else {
      std::fprintf(
          stderr,
          "usage: ferrybench [--quick] [--size-mib N] [--rounds R] [--memory-sizes SMALL LARGE]\n"
          "                  [--keep-trace FILE]   (the agent traces; its trace kept)\n"
          "  defaults: 1024 MiB, 3 rounds, 64 and 4096 MiB (--quick: 64 MiB, 64 and\n"
          "  256 MiB); sizes at least 4 MiB, at least 1 round\n");
      return 2;
    }
  }
  if (sizeMib < 4 || smallMib < 4 || largeMib < 4 || rounds < 1) {
    std::fprintf(stderr, "ferrybench: sizes must be at least 4 MiB and rounds at least 1\n");
    return 2;
  }
  char programPath[MAX_PATH * 2] = {};
  GetModuleFileNameA(nullptr, programPath, sizeof programPath);
  const std::string bin = folderOf(programPath);
  try {
    if (probe) {
      runMemoryProbe(bin, sizeMib);
      return 0;
    }
    runComparisons(bin, sizeMib, rounds, keepTrace);
    std::printf("peak memory of one backup and one restore of each kind:\n");
    std::fflush(stdout);
    const Memory small = probeMemory(programPath, smallMib);
    const Memory large = probeMemory(programPath, largeMib);
    std::printf("  %5llu MiB database: peak working set %7.1f MiB, peak pagefile %7.1f MiB\n",
                static_cast<unsigned long long>(smallMib), small.workingSet, small.pagefile);
    std::printf("  %5llu MiB database: peak working set %7.1f MiB, peak pagefile %7.1f MiB\n",
                static_cast<unsigned long long>(largeMib), large.workingSet, large.pagefile);
    std::printf("  growth: working set %+.1f MiB, pagefile %+.1f MiB\n",
                large.workingSet - small.workingSet, large.pagefile - small.pagefile);
  } catch (const Failure& failure) {
    std::fprintf(stderr, "ferrybench: %s\n", failure.text.c_str());
    return 1;
  }
  return 0;
}
