#include "installation/captured_run.h"

#include <cstdint>

#include "account/account_layer.h"
#include "agent_state.h"
#include "trace.h"

namespace ferry::agent {
namespace {

// Closes a handle at scope exit without touching the caller's GetLastError().
class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE handle = nullptr) : handle_(handle) {}
  ~ScopedHandle() { reset(); }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  HANDLE get() const { return handle_; }
  HANDLE release() {
    HANDLE handle = handle_;
    handle_ = nullptr;
    return handle;
  }
  void reset() {
    if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) {
      DWORD saved = GetLastError();
      CloseHandle(handle_);
      SetLastError(saved);
    }
    handle_ = nullptr;
  }

 private:
  HANDLE handle_;
};

DWORD waitForUtility(ConnectionRecord* ci, const CapturedRun& run, HANDLE process) {
  if (run.waiting == RunWaiting::Poll) {
    for (;;) {
      DWORD exitCode = 0;
      if (!GetExitCodeProcess(process, &exitCode)) {
        DWORD error = GetLastError();
        trace(ci, "%s(): GetExitCodeProcess() failed. Error = %lu", run.routine, error);
        return resultFromWin32(error);
      }
      trace(ci, "%s(): GetExitCodeProcess() successful.", run.routine);
      if (exitCode != STILL_ACTIVE) break;
      trace(ci, "%s", run.stillActiveText);
      Sleep(run.pollMs);
    }
    trace(ci, "%s(): %s finished.", run.routine, run.program);
    return 0;
  }
  DWORD limit = run.waiting == RunWaiting::Limited ? run.limitMs : INFINITE;
  DWORD waited = WaitForSingleObject(process, limit);
  if (waited == WAIT_OBJECT_0) {
    trace(ci, "%s(): %s finished.", run.routine, run.program);
    return 0;
  }
  if (waited == WAIT_TIMEOUT) {
    trace(ci, "%s(): %s failed(timeout). II_SYSTEM not set", run.routine, run.program);
    // A utility that hangs would otherwise hold its output file and stay behind for the life
    // of the host; the run has failed either way.
    TerminateProcess(process, 1);
  } else {
    trace(ci, "%s(): %s failed. II_SYSTEM not set. errcode=%lu", run.routine, run.program,
          GetLastError());
  }
  return kRunNotFinished;
}

}  // namespace

DWORD runCapturedUtility(ConnectionRecord* ci, const CapturedRun& run) {
  SECURITY_ATTRIBUTES inheritable = {};
  inheritable.nLength = sizeof inheritable;
  inheritable.bInheritHandle = TRUE;
  ScopedHandle output(CreateFileA(run.outputPath, GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, /*template=*/nullptr));
  if (output.get() == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    trace(ci, run.createFailedText, static_cast<int>(error));
    if (run.outputRequired) return resultFromWin32(error);
  }

  STARTUPINFOA startup = {};
  // The structure's own size: the 32-bit value 68 would be wrong for this 64-bit build.
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESIZE | STARTF_USESTDHANDLES;
  startup.wShowWindow = SW_HIDE;
  startup.hStdOutput = output.get();
  PROCESS_INFORMATION process = {};
  DWORD error = 0;
  if (run.token != INVALID_HANDLE_VALUE && run.token != nullptr) {
    error = accountLayer().createProcessAsUser(run.token, run.commandLine,
                                               /*inheritHandles=*/TRUE, /*creationFlags=*/0,
                                               &startup, &process);
  } else if (!CreateProcessA(/*application=*/nullptr, run.commandLine, nullptr, nullptr,
                             /*inheritHandles=*/TRUE, /*creationFlags=*/0,
                             /*environment=*/nullptr, /*currentDirectory=*/nullptr, &startup,
                             &process)) {
    error = GetLastError();
  }
  if (error != 0) {
    trace(ci, "%s(): %s Process creation failed. Error = %lu", run.routine, run.program, error);
    return resultFromWin32(error);
  }
  ScopedHandle processHandle(process.hProcess);
  ScopedHandle threadHandle(process.hThread);
  trace(ci, "%s(): %s Process created successfully", run.routine, run.program);
  trace(ci, "%s(): %s process Handle = %d", run.routine, run.program,
        static_cast<int>(reinterpret_cast<intptr_t>(process.hProcess)));

  DWORD result = waitForUtility(ci, run, process.hProcess);
  if (output.get() != INVALID_HANDLE_VALUE) {
    HANDLE file = output.get();
    if (CloseHandle(file)) {
      trace(ci, "%s(): CloseHandle successful", run.routine);
    } else {
      trace(ci, "%s(): CloseHandle Failed. Error= %lu", run.routine, GetLastError());
    }
    // Already closed above; forget it so the guard does not close it twice.
    static_cast<void>(output.release());
  }
  return result;
}

}  // namespace ferry::agent
