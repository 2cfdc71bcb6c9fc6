// Upper bounds of the agent's own waits. Each lies far above what a slow but healthy
// installation needs, so that reaching one means that the utility or the holder of the lock
// hangs: the waiter then ends the utility (or gives the lock up), reports it and goes on.
//
// Conventions: process-wide; read by whichever thread waits; changed only by the testbed
// build's FerryTestSetWaitLimits, before the waits it speeds up.
#pragma once

#include <windows.h>

namespace ferry::agent {

struct WaitLimits {
  DWORD variableListingMs = 10000;  // ingprenv listing every variable (SetIISYSTEM)
  DWORD variableValueMs = 30000;    // ingprenv <name> (getOpIngresVarValue)
  DWORD journalReportMs = 120000;   // infodb <database> (getOpIngresInfodbInfo)
  DWORD databaseListMs = 300000;    // infodb -u<login>: one report per database of the login
  DWORD logMutexMs = 10000;         // the trace and the activity log mutex: one line each
  // The remote pipe: its client's connect, counted from when the stream is due (the first
  // DSARead, the header's DSAWrite); one message taken or given by the client (a media side that
  // waits for a tape stays far below it); the reader's end of a restored file after
  // DSAEndRestore (the client has written it all by then); a stopped thread's end.
  DWORD remoteConnectMs = 300000;
  DWORD remoteStallMs = 900000;
  DWORD remoteFileEndMs = 60000;
  DWORD remoteThreadEndMs = 120000;
};

const WaitLimits& waitLimits();
void setWaitLimits(const WaitLimits& limits);

}  // namespace ferry::agent
