// The console's commands over a loaded agent. Each prints its results on standard output, its
// failures on standard error, and returns the exit code. All calls of a connection are made
// from the thread that connected it, as the agent requires.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "agent_library.h"
#include "core/command_line.h"
#include "core/exit_code.h"

namespace ferry::ctl {

ExitCode runConnect(const AgentEntryPoints& agent, const ConnectArguments& arguments);
ExitCode runError(const AgentEntryPoints& agent, uint32_t code);
ExitCode runInfo(const AgentEntryPoints& agent, const ConnectArguments& arguments);
ExitCode runList(const AgentEntryPoints& agent, const ConnectArguments& arguments, bool properties);
ExitCode runExcluded(const AgentEntryPoints& agent, const ConnectArguments& arguments);
ExitCode runBackup(const AgentEntryPoints& agent, const ConnectArguments& arguments,
                   const BackupArguments& backup);
ExitCode runRestore(const AgentEntryPoints& agent, const ConnectArguments& arguments,
                    const RestoreArguments& restore);
// verify ARCHIVE and restore --list ARCHIVE.
ExitCode runVerify(const std::string& archivePath);

// ---- shared by the commands ----

// The buffer given to DSARead and DSAWrite, an AlignedBuffer (aligned_buffer.h): the agent reads
// object files unbuffered straight into it.
inline constexpr size_t kReadBufferSize = 1u << 20;  // 1 MiB, a multiple of 4096
static_assert(kReadBufferSize % 4096 == 0);

void printLine(FILE* stream, const std::string& line);

// "ferryctl: <what> failed: <code>: <text>" on standard error, the text from DSAGetError.
void printAgentFailure(const AgentEntryPoints& agent, const std::string& what, DSA_RESULT code);

// A connection for the life of the object: DSAConnectAgent in open(), DSADisconnectAgent when
// it ends (a failed disconnect is printed; close() returns it).
class AgentConnection {
 public:
  explicit AgentConnection(const AgentEntryPoints& agent) : agent_(agent) {}
  ~AgentConnection() { close(); }
  AgentConnection(const AgentConnection&) = delete;
  AgentConnection& operator=(const AgentConnection&) = delete;

  // 0 or the agent's code (printed).
  DSA_RESULT open(const ConnectArguments& arguments);
  // 0, or the code of a failed disconnect (printed); nothing when not connected.
  DSA_RESULT close();
  uint32_t id() const { return id_; }

 private:
  const AgentEntryPoints& agent_;
  uint32_t id_ = 0;
};

// The object list (DSAEnumObjects type 1) on an open connection: 0 and the names, or the
// agent's code (printed).
DSA_RESULT listObjects(const AgentEntryPoints& agent, uint32_t connectionId,
                       std::vector<std::string>* names);

// Calls `call(buffer, &size)` with a zeroed buffer of `initialSize` bytes and, while the agent
// answers 500 with a larger size, again with a buffer of that size. On 0 `buffer` holds the
// answer and *reported the size the agent reported; any other result is returned as it is.
// An agent that asks for no more than it was given, or for more than 64 MiB, ends the
// negotiation with 500.
template <typename Call>
DSA_RESULT negotiateBuffer(size_t initialSize, std::vector<uint8_t>& buffer, uint32_t* reported,
                           Call call) {
  constexpr size_t kMostBytes = 64u << 20;
  size_t size = initialSize;
  for (;;) {
    buffer.assign(size, 0);
    uint32_t inOut = static_cast<uint32_t>(size);
    DSA_RESULT result = call(buffer.data(), &inOut);
    *reported = inOut;
    if (result != DSA_ERROR_BUFFER_TOO_SMALL) return result;
    if (inOut <= size || inOut > kMostBytes) return result;
    size = inOut;
  }
}

}  // namespace ferry::ctl
