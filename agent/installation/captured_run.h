// The captured utility run: an Ingres utility started hidden with its standard output sent to a
// file, waited for, and the file left on disk for the caller to read back. The four runs of the
// agent (ingprenv listing every variable or one, infodb reporting a database or listing them)
// are set up by one builder, so that their names, command lines and waits are made in one place.
//
// Conventions:
// - Results: 0; 10000 + the system error when the output file is required and cannot be
//   created, when the process cannot be started or its exit code cannot be read; 1 when a
//   limited wait ends without the process ending; 10000 + ERROR_FILENAME_EXCED_RANGE when a name
//   or command line would not fit (nothing is cut and nothing is started).
// - Trace lines begin with the run's routine and name its program, as each caller traced them.
// - The process and thread handles never outlive the call; the output file handle is closed
//   after the wait.
#pragma once

#include <windows.h>

#include "connection/connection_record.h"
#include "core/checkpoint_template.h"

namespace ferry::agent {

enum class CapturedUtility {
  VariableListing,  // SetIISYSTEM: ingprenv, every variable
  VariableValue,    // getOpIngresVarValue: ingprenv <name>
  JournalReport,    // getOpIngresInfodbInfo: infodb <database>
  DatabaseList,     // getOpIngresDbList2: infodb -u<login>
};

enum class RunWaiting {
  Limited,    // WaitForSingleObject with limitMs
  Unlimited,  // WaitForSingleObject without a limit
  Poll,       // GetExitCodeProcess every pollMs while STILL_ACTIVE
};

struct CapturedRun {
  const char* routine = "";
  const char* program = "";
  char outputPath[kUtilityPathSize] = "";
  char commandLine[1024] = "";  // CreateProcess may write into it
  HANDLE token = nullptr;       // null or INVALID_HANDLE_VALUE: the agent's own account
  RunWaiting waiting = RunWaiting::Unlimited;
  DWORD limitMs = 0;
  DWORD pollMs = 1000;
  const char* stillActiveText = "";   // trace text of each poll that finds the process running
  bool outputRequired = false;        // a failed CreateFile ends the run
  const char* createFailedText = "";  // trace text of a failed CreateFile, with %d
};

// Sets `run` up for `utility` of the connection's installation: `argument` is the variable
// name, the database name or the login name (unused for the listing), `token` the account to
// run as. 0, or 10000 + ERROR_FILENAME_EXCED_RANGE (traced) when a name would not fit.
DWORD prepareCapturedRun(ConnectionRecord* ci, CapturedUtility utility, const char* argument,
                         HANDLE token, CapturedRun* run);

DWORD runCapturedUtility(ConnectionRecord* ci, CapturedRun& run);

}  // namespace ferry::agent
