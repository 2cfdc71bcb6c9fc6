// mooring.exe: the agent's RPC service "DbaRpcService". It holds the service's place for the
// backup server's agent discovery: it starts, reports its state to the service control manager
// and stops when asked (or at shutdown). Run outside the service control manager it says so and
// ends with 1.
#include <windows.h>

#include <cstdio>

#include "unique_handle.h"

namespace {

SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
HANDLE g_stopEvent = nullptr;
SERVICE_STATUS g_status = {};

void report(DWORD state, DWORD exitCode, DWORD waitHintMs) {
  static DWORD checkPoint = 1;
  g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  g_status.dwCurrentState = state;
  g_status.dwWin32ExitCode = exitCode;
  g_status.dwWaitHint = waitHintMs;
  g_status.dwControlsAccepted =
      state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
  g_status.dwCheckPoint = state == SERVICE_RUNNING || state == SERVICE_STOPPED ? 0 : checkPoint++;
  SetServiceStatus(g_statusHandle, &g_status);
}

DWORD WINAPI control(DWORD code, DWORD, void*, void*) {
  switch (code) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
      report(SERVICE_STOP_PENDING, NO_ERROR, 5000);
      SetEvent(g_stopEvent);
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
  }
  return ERROR_CALL_NOT_IMPLEMENTED;
}

void WINAPI serviceMain(DWORD, char**) {
  g_statusHandle = RegisterServiceCtrlHandlerExA("DbaRpcService", control, nullptr);
  if (g_statusHandle == nullptr) return;
  report(SERVICE_START_PENDING, NO_ERROR, 3000);
  ferry::UniqueHandleNull stopEvent(
      CreateEventA(nullptr, /*manualReset=*/TRUE, /*initialState=*/FALSE, nullptr));
  if (!stopEvent) {
    report(SERVICE_STOPPED, GetLastError(), 0);
    return;
  }
  g_stopEvent = stopEvent.get();
  report(SERVICE_RUNNING, NO_ERROR, 0);
  WaitForSingleObject(g_stopEvent, INFINITE);  // the service lives until it is told to stop
  stopEvent.reset();
  report(SERVICE_STOPPED, NO_ERROR, 0);
}

}  // namespace

int main() {
  char name[] = "DbaRpcService";
  SERVICE_TABLE_ENTRYA table[] = {{name, serviceMain}, {nullptr, nullptr}};
  if (!StartServiceCtrlDispatcherA(table)) {
    DWORD error = GetLastError();
    std::fprintf(stderr, "mooring: runs only as the service DbaRpcService (error %lu)\n", error);
    return 1;
  }
  return 0;
}
