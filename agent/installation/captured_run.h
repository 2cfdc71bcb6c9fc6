// The captured utility run: an Ingres utility started hidden with its standard output sent to a
// file of the run's own, waited for within a limit, and its output read back. The four runs of
// the agent (ingprenv listing every variable or one, infodb reporting a database or listing
// them) are set up by one builder, so that their names, command lines and waits are made in one
// place.
//
// The output file lies in the agent directory under a name no other run uses
// ("<stem><code><db>-<process>-<run>.out"), is created new (a file someone placed there first is
// never opened: the run takes the next name) and deleted when the run's handle closes. The agent
// reads the output back through that same handle, never by opening the path again, so what it
// reads is what the utility wrote.
//
// Conventions:
// - Results: 0; 10000 + the system error when the output file cannot be created, the process
//   cannot be started or its exit code cannot be read; the run's timeoutResult when the utility
//   does not end within its limit (it is then ended); 10000 + ERROR_FILENAME_EXCED_RANGE when a
//   name or command line would not fit (nothing is cut and nothing is started); 17 when the
//   utility could not be started with its output file as its only handle (it is not started).
// - Trace lines begin with the run's routine and name its program, as each caller traced them.
// - The process and thread handles never outlive the call; the output file lives as long as
//   the CapturedRun.
#pragma once

#include <windows.h>

#include "connection/connection_record.h"
#include "core/checkpoint_template.h"
#include "unique_handle.h"

namespace ferry::agent {

enum class CapturedUtility {
  VariableListing,  // SetIISYSTEM: ingprenv, every variable
  VariableValue,    // getOpIngresVarValue: ingprenv <name>
  JournalReport,    // getOpIngresInfodbInfo: infodb <database>
  DatabaseList,     // getOpIngresDbList2: infodb -u<login>
};

enum class RunWaiting {
  Limited,  // one WaitForSingleObject of limitMs
  Poll,     // GetExitCodeProcess every pollMs while STILL_ACTIVE, for at most limitMs
};

struct CapturedRun {
  const char* routine = "";
  const char* program = "";
  const char* stem = "";                   // of the output file name
  const char* dbName = "";                 // in the output file name (the journal report's)
  char outputPath[kUtilityPathSize] = "";  // set by runCapturedUtility
  char commandLine[1024] = "";             // CreateProcess may write into it
  HANDLE token = nullptr;                  // null or INVALID_HANDLE_VALUE: the agent's own account
  RunWaiting waiting = RunWaiting::Limited;
  DWORD limitMs = 0;
  DWORD pollMs = 1000;
  DWORD timeoutResult = 0;            // the result when the limit is reached
  const char* stillActiveText = "";   // trace text of each poll that finds the process running
  const char* createFailedText = "";  // trace text of a failed CreateFile, with %d
  UniqueFile output;                  // the output file; deleted when closed
};

// Sets `run` up for `utility` of the connection's installation: `argument` is the variable
// name, the database name or the login name (unused for the listing), `token` the account to
// run as. 0, or 10000 + ERROR_FILENAME_EXCED_RANGE (traced) when the command would not fit.
DWORD prepareCapturedRun(ConnectionRecord* ci, CapturedUtility utility, const char* argument,
                         HANDLE token, CapturedRun* run);

DWORD runCapturedUtility(ConnectionRecord* ci, CapturedRun& run);

// The output of a run that returned 0, from its start, as a text-mode stream over a duplicate of
// the run's own handle. Null when it cannot be made, with errno set (and the system error left
// in GetLastError()).
UniqueStdioFile openCapturedOutput(CapturedRun& run);

}  // namespace ferry::agent
