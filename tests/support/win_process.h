// Helpers for Windows tests: where the test program lives, and running a program with its
// standard output and error captured.
#pragma once

#include <windows.h>

#include <string>

namespace ferry::test {

// Folder of the running test program, without trailing backslash. Every program and DLL of the
// build lies there.
std::string binDir();

// Full path of the running test program (to re-run it as a child).
std::string selfPath();

struct ProcessResult {
  bool started = false;   // false: CreateProcess failed, `error` holds GetLastError()
  bool timedOut = false;  // true: the process was terminated after the time limit
  DWORD exitCode = 0;
  DWORD error = 0;
  std::string out;  // everything written to standard output
  std::string err;  // everything written to standard error
};

// Runs a command line (no shell), waits at most timeoutMs, captures both output streams.
ProcessResult runProcess(const std::string& commandLine, DWORD timeoutMs = 60000);

// Deletes a folder tree; a missing folder is not an error.
void removeTree(const std::string& path);

// Terminates every process whose image is `image` (e.g. "siphon.exe") and waits for each to end.
// Returns how many were terminated.
int terminateProcesses(const char* image);
// How many processes of `image` run.
int processesNamed(const char* image);
// True once no process of `image` runs, waiting at most `limitMs` for the last to end.
bool noProcessNamedWithin(const char* image, DWORD limitMs);

}  // namespace ferry::test
