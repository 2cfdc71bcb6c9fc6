#include "backup/extractor_pipe.h"

#include "core/checkpoint_template.h"
#include "trace.h"

namespace ferry::agent {
namespace {

// Polling steps: short at first, so that a record already on its way costs next to nothing,
// then longer, so that a slow extractor does not keep a processor busy.
DWORD pollDelay(int attempt) {
  if (attempt < 20) return 1;
  if (attempt < 100) return 10;
  return 50;
}

DWORD WINAPI listenBlocking(void* pipe) {
  if (ConnectNamedPipe(static_cast<HANDLE>(pipe), nullptr)) return 0;
  const DWORD error = GetLastError();
  return error == ERROR_PIPE_CONNECTED ? 0 : error;
}

}  // namespace

void waitForExtractorToGo(ConnectionRecord* ci, DWORD limitMs) {
  const ULONGLONG start = GetTickCount64();
  for (int attempt = 0;; ++attempt) {
    OidbMsg msg{};
    DWORD got = 0;
    if (!ReadFile(ci->pipeHandle, &msg, sizeof msg, &got, nullptr)) {
      const DWORD error = GetLastError();
      if (error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED) return;
      if (error != ERROR_NO_DATA) {
        trace(ci, "waitForExtractorToGo(): ReadFile failed. Error = %d", static_cast<int>(error));
        return;
      }
    } else {
      // The extractor has nothing more to say once it was released.
      trace(ci, "waitForExtractorToGo(): record of type %d after the release", msg.MsgType);
    }
    if (GetTickCount64() - start >= limitMs) return;
    Sleep(pollDelay(attempt));
  }
}

bool reconnectExtractor(ConnectionRecord* ci, const char* dbName) {
  if (!DisconnectNamedPipe(ci->pipeHandle)) {
    trace(ci, "reconnectExtractor(): DisconnectNamedPipe failed. Error= %d",
          static_cast<int>(GetLastError()));
  }
  ci->pipeConnected = 0;
  // The listen runs in blocking mode on a thread of its own: an extractor that already waits for
  // the pipe is woken only by a blocking listen on some systems, whereas a non-blocking one
  // merely marks the pipe as listening. The agent's own reads stay non-blocking.
  DWORD mode = PIPE_READMODE_MESSAGE | PIPE_WAIT;
  if (!SetNamedPipeHandleState(ci->pipeHandle, &mode, nullptr, nullptr)) {
    trace(ci, "reconnectExtractor(): SetNamedPipeHandleState failed. Error= %d",
          static_cast<int>(GetLastError()));
    return false;
  }
  HANDLE listener = CreateThread(nullptr, 0, listenBlocking, ci->pipeHandle, 0, nullptr);
  bool connected = false;
  if (listener == nullptr) {
    trace(ci, "reconnectExtractor(): CreateThread failed. Error= %d",
          static_cast<int>(GetLastError()));
  } else {
    if (WaitForSingleObject(listener, kRecordWaitMs) == WAIT_OBJECT_0) {
      DWORD result = 1;
      connected = GetExitCodeThread(listener, &result) && result == 0;
      if (!connected) {
        trace(ci, "reconnectExtractor(): ConnectNamedPipe failed. Error= %d",
              static_cast<int>(result));
      }
    } else {
      // No extractor came: the agent opens the pipe itself to end the listen, and lets that
      // client go again.
      trace(ci, "reconnectExtractor(): no extractor within %lu ms",
            static_cast<unsigned long>(kRecordWaitMs));
      char name[kExtractorPipeNameSize] = "";
      if (buildExtractorPipeName(ci->installationCode, dbName, name, sizeof name)) {
        HANDLE self =
            CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        WaitForSingleObject(listener, kRecordWaitMs);
        if (self != INVALID_HANDLE_VALUE) CloseHandle(self);
      }
      if (WaitForSingleObject(listener, 0) != WAIT_OBJECT_0) TerminateThread(listener, 1);
      DisconnectNamedPipe(ci->pipeHandle);
    }
    CloseHandle(listener);
  }
  mode = PIPE_READMODE_MESSAGE | PIPE_NOWAIT;
  SetNamedPipeHandleState(ci->pipeHandle, &mode, nullptr, nullptr);
  if (connected) ci->pipeConnected = 1;
  return connected;
}

bool readExtractorRecord(ConnectionRecord* ci, OidbMsg* msg, DWORD* error) {
  const ULONGLONG start = GetTickCount64();
  for (int attempt = 0;; ++attempt) {
    *msg = OidbMsg{};
    DWORD got = 0;
    if (ReadFile(ci->pipeHandle, msg, sizeof *msg, &got, nullptr)) {
      if (got == sizeof *msg) return true;
      // A record is written with one write: a short one is not a record of this protocol.
      *error = ERROR_INVALID_DATA;
      return false;
    }
    *error = GetLastError();
    // Nothing written yet (ERROR_NO_DATA), or the extractor of the next location has not opened
    // the pipe yet (ERROR_PIPE_LISTENING): wait. Anything else ends the read.
    if (*error != ERROR_NO_DATA && *error != ERROR_PIPE_LISTENING) return false;
    // A listening pipe is asked once more whether its client has come.
    if (*error == ERROR_PIPE_LISTENING) ConnectNamedPipe(ci->pipeHandle, nullptr);
    if (GetTickCount64() - start >= kRecordWaitMs) {
      trace(ci, "readExtractorRecord(): no record from the extractor within %lu ms",
            static_cast<unsigned long>(kRecordWaitMs));
      *error = ERROR_TIMEOUT;
      return false;
    }
    Sleep(pollDelay(attempt));
  }
}

void sendExtractorRecord(ConnectionRecord* ci, int32_t type, const char* successText,
                         const char* failedFormat) {
  OidbMsg msg = makeOidbMsg(type);
  DWORD written = 0;
  if (WriteFile(ci->pipeHandle, &msg, sizeof msg, &written, nullptr) && written == sizeof msg) {
    trace(ci, "%s", successText);
  } else {
    trace(ci, failedFormat, static_cast<int>(GetLastError()));
  }
}

}  // namespace ferry::agent
