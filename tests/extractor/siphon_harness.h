// The agent's end of the extractor pipe, as a test plays it, and siphon.exe runs.
//
// The server end is created as the agent creates it (duplex, message mode, one instance,
// 32768-byte buffers, NULL DACL) but overlapped, so that the test can wait for a client and
// for siphon's exit at once and never hangs on a siphon that ended without connecting.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "oidb_msg.h"
#include "unique_handle.h"

namespace ferry::test {

// "\\.\pipe\TID" + code + database: the name the agent gives, so that siphon takes `code`
// as the installation code.
std::string extractorPipeName(const std::string& code, const std::string& database);

class PipeServer {
 public:
  explicit PipeServer(const std::string& name);
  ~PipeServer();
  PipeServer(const PipeServer&) = delete;
  PipeServer& operator=(const PipeServer&) = delete;

  // 0 when the server end exists and listens, else the system error.
  DWORD setupError() const { return setupError_; }
  // Waits until a client connects (0) or `process` ends first (ERROR_PROCESS_ABORTED).
  DWORD awaitClient(HANDLE process);
  // True when a client has connected at any time so far.
  bool clientSeen();
  // One record; 0 or the system error (ERROR_BROKEN_PIPE once siphon is gone).
  DWORD read(OidbMsg* msg, DWORD* bytes);
  DWORD write(const OidbMsg& msg);

 private:
  UniqueFile pipe_;
  UniqueHandleNull connectEvent_;
  UniqueHandleNull ioEvent_;
  OVERLAPPED connect_{};
  DWORD setupError_ = 0;
  bool connected_ = false;
};

// The run's process handle is the run's own, closed when the run goes.
struct SiphonRun {
  HANDLE process = nullptr;
  DWORD startError = 0;
  ~SiphonRun();
  // Waits for the end (at most a generous guard against a hang) and returns the exit code;
  // STILL_ACTIVE when the guard ran out and the process was ended.
  DWORD exitCode();
};

// Starts bin\siphon.exe with `arguments` (already quoted as the template quotes -P).
void startSiphon(const std::string& arguments, SiphonRun* run);

// A fresh folder C:\ferrytest\<name>, removed again by the destructor.
class TestFolder {
 public:
  explicit TestFolder(const std::string& name);
  ~TestFolder();
  const std::string& path() const { return path_; }
  // Creates an empty file or a folder below it.
  bool addFile(const std::string& name);
  bool addFolder(const std::string& name);

 private:
  std::string path_;
};

// Names of the files in `folder` that match `pattern`.
std::vector<std::string> listFiles(const std::string& folder, const std::string& pattern);

std::string readWholeFile(const std::string& path);

}  // namespace ferry::test
