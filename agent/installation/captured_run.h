// The captured utility run: an Ingres utility started hidden with its standard output sent to a
// file, waited for, and the file left on disk for the caller to read back.
//
// Conventions:
// - Results: 0; 10000 + the system error when the output file is required and cannot be
//   created, when the process cannot be started or its exit code cannot be read;
//   kRunNotFinished when a limited wait ends without the process ending.
// - Trace lines begin with `routine` and name `program`, so each user keeps its own texts.
// - The process and thread handles never outlive the call; the output file handle is closed
//   after the wait.
#pragma once

#include <windows.h>

#include "connection_record.h"

namespace ferry::agent {

inline constexpr DWORD kRunNotFinished = 1;

enum class RunWaiting {
  Limited,    // WaitForSingleObject with limitMs
  Unlimited,  // WaitForSingleObject without a limit
  Poll,       // GetExitCodeProcess every pollMs while STILL_ACTIVE
};

struct CapturedRun {
  const char* routine = "";
  const char* program = "";
  const char* outputPath = "";
  char* commandLine = nullptr;          // CreateProcess may write into it
  HANDLE token = INVALID_HANDLE_VALUE;  // INVALID_HANDLE_VALUE: the agent's own account
  RunWaiting waiting = RunWaiting::Unlimited;
  DWORD limitMs = 0;
  DWORD pollMs = 1000;
  const char* stillActiveText = "";   // trace text of each poll that finds the process running
  bool outputRequired = false;        // a failed CreateFile ends the run
  const char* createFailedText = "";  // trace text of a failed CreateFile, with %d
};

DWORD runCapturedUtility(ConnectionRecord* ci, const CapturedRun& run);

}  // namespace ferry::agent
