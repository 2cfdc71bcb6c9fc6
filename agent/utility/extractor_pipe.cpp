#include "utility/extractor_pipe.h"

#include <tlhelp32.h>

#include <cstdio>
#include <map>
#include <string>

#include "core/message_ids.h"
#include "library/agent_state.h"
#include "logs/activity_log.h"
#include "logs/trace.h"
#include "unique_handle.h"

namespace ferry::agent {
namespace {

// Polling steps: short at first, so that a record already on its way costs next to nothing,
// then longer, so that a slow extractor does not keep a processor busy.
DWORD pollDelay(int attempt) {
  if (attempt < 20) return 1;
  if (attempt < 100) return 10;
  return 50;
}

constexpr DWORD kSelfConnectWaitMs = 5000;
constexpr int kFirstConnectAttempts = 10;
constexpr DWORD kFirstConnectPauseMs = 2000;

DWORD WINAPI listenBlocking(void* pipe) {
  return ConnectNamedPipe(static_cast<HANDLE>(pipe), /*overlapped=*/nullptr) ? 0 : GetLastError();
}

void traceIf(ConnectionRecord* ci, const char* text) {
  if (text != nullptr) trace(ci, "%s", text);
}

// The pause between two attempts at the first connect: up to `pauseMs`, over as soon as a
// client is on the pipe, which the next attempt then finds connected. The pipe does not block:
// a listen on it answers at once.
void pauseForFirstClient(ConnectionRecord* ci, DWORD pauseMs) {
  constexpr DWORD kStepMs = 10;
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    if (ConnectNamedPipe(ci->run.pipeHandle.get(), /*overlapped=*/nullptr) ||
        GetLastError() == ERROR_PIPE_CONNECTED) {
      return;
    }
    const ULONGLONG elapsed = GetTickCount64() - start;
    if (elapsed >= pauseMs) return;
    Sleep(static_cast<DWORD>(pauseMs - elapsed < kStepMs ? pauseMs - elapsed : kStepMs));
  }
}

void traceConnectedEarlier(ConnectionRecord* ci, const FirstConnectTexts& texts) {
  for (const char* text : texts.connectedEarlier) traceIf(ci, text);
}

// Gives the released extractor up to `limitMs` to take its release record and go; returns as
// soon as its end of the pipe has closed.
void waitForExtractorToGo(ConnectionRecord* ci, DWORD limitMs) {
  const ULONGLONG start = GetTickCount64();
  for (int attempt = 0;; ++attempt) {
    OidbMsg msg{};
    DWORD got = 0;
    if (!ReadFile(ci->run.pipeHandle.get(), &msg, sizeof msg, &got, nullptr)) {
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

// The full, long form of a path, for comparing paths that may be given in 8.3 form.
std::string longPath(const char* path) {
  char buffer[MAX_PATH * 2] = "";
  const DWORD length = GetLongPathNameA(path, buffer, sizeof buffer);
  return length > 0 && length < sizeof buffer ? std::string(buffer) : std::string(path);
}

// The parent of each process, from a snapshot.
std::map<DWORD, DWORD> parentsOfProcesses() {
  std::map<DWORD, DWORD> parents;
  UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return parents;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot.get(), &entry); more;
       more = Process32Next(snapshot.get(), &entry)) {
    parents[entry.th32ProcessID] = entry.th32ParentProcessID;
  }
  return parents;
}

// The utility the agent started for the connection's running data backup or restore.
HANDLE runUtility(const ConnectionRecord* ci) {
  return isRestoring(ci->status) ? ci->run.rollforwardProcessHandle.get()
                                 : ci->run.ckpdbProcessHandle.get();
}

}  // namespace

bool admitClient(ConnectionRecord* ci) {
  constexpr int kAncestorsChecked = 8;
  ULONG client = 0;
  if (!GetNamedPipeClientProcessId(ci->run.pipeHandle.get(), &client)) {
    trace(ci, "admitClient(): the client of the pipe is not known. Error= %d",
          static_cast<int>(GetLastError()));
    return false;
  }
  char image[MAX_PATH * 2] = "";
  {
    UniqueHandleNull process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, client));
    DWORD size = sizeof image;
    if (!process || !QueryFullProcessImageNameA(process.get(), 0, image, &size)) image[0] = '\0';
  }
  const std::string expected = longPath((std::string(agentDirectory()) + "\\siphon.exe").c_str());
  bool admitted = image[0] != '\0' && lstrcmpiA(longPath(image).c_str(), expected.c_str()) == 0;
  if (admitted) {
    // ...and started, directly or through a command of its template, by the run's utility.
    const HANDLE utility = runUtility(ci);
    const DWORD utilityId = utility != nullptr ? GetProcessId(utility) : 0;
    const std::map<DWORD, DWORD> parents = parentsOfProcesses();
    admitted = false;
    DWORD id = client;
    for (int step = 0; step < kAncestorsChecked && utilityId != 0; ++step) {
      const auto parent = parents.find(id);
      if (parent == parents.end() || parent->second == 0) break;
      id = parent->second;
      if (id == utilityId) {
        admitted = true;
        break;
      }
    }
  }
  if (!admitted) {
    trace(ci, "admitClient(): process %lu (%s) is not the run's extractor; disconnected",
          static_cast<unsigned long>(client), image[0] != '\0' ? image : "image unknown");
    Log_act(ci, messages::kActivityForeignPipeClient, static_cast<DWORD>(client),
            image[0] != '\0' ? image : "image unknown");
  }
  return admitted;
}

bool connectFirstExtractor(ConnectionRecord* ci, const FirstConnectTexts& texts, DWORD* error) {
  *error = 0;
  traceIf(ci, texts.starting);
  // A pause ends early when a client comes; one that is turned away must not shorten the run's
  // extractor's time to come, so the wait lasts at least as long as its pauses in full.
  const ULONGLONG deadline =
      GetTickCount64() + static_cast<ULONGLONG>(kFirstConnectAttempts) * kFirstConnectPauseMs;
  for (int attempt = 1;; ++attempt) {
    const BOOL connected = ConnectNamedPipe(ci->run.pipeHandle.get(), /*overlapped=*/nullptr);
    *error = connected ? 0 : GetLastError();
    if (attempt == 1 && texts.firstResult != nullptr) trace(ci, texts.firstResult, connected, 0);
    if (!connected && texts.failed != nullptr) trace(ci, texts.failed, static_cast<int>(*error));
    if (connected || *error == ERROR_PIPE_CONNECTED) {
      if (*error == ERROR_PIPE_CONNECTED) {
        traceConnectedEarlier(ci, texts);
      } else if (attempt > 1) {
        traceIf(ci, texts.succeeded);
      }
      if (admitClient(ci)) {
        *error = 0;
        ci->run.pipeConnected = 1;
        return true;
      }
      // Not the run's extractor: let go, and the pipe listens again for the rest of the wait.
      DisconnectNamedPipe(ci->run.pipeHandle.get());
      ConnectNamedPipe(ci->run.pipeHandle.get(), /*overlapped=*/nullptr);
      *error = ERROR_ACCESS_DENIED;
    }
    traceIf(ci, texts.waiting);
    traceIf(ci, texts.pausing);
    pauseForFirstClient(ci, kFirstConnectPauseMs);
    if (attempt >= kFirstConnectAttempts && GetTickCount64() >= deadline) return false;
    if (texts.retrying != nullptr) trace(ci, texts.retrying, attempt);
  }
}

bool awaitExtractorClient(ConnectionRecord* ci, DWORD waitMs, HANDLE utility) {
  DWORD mode = PIPE_READMODE_MESSAGE | PIPE_WAIT;
  if (!SetNamedPipeHandleState(ci->run.pipeHandle.get(), &mode, nullptr, nullptr)) {
    trace(ci, "awaitExtractorClient(): SetNamedPipeHandleState failed. Error= %d",
          static_cast<int>(GetLastError()));
    return false;
  }
  const ULONGLONG deadline = GetTickCount64() + waitMs;
  bool connected = false;
  // A client that is not the run's extractor is let go, and the listen goes on in the time left.
  for (bool listening = true; listening && !connected;) {
    UniqueHandleNull listener(CreateThread(/*security=*/nullptr, 0, listenBlocking,
                                           ci->run.pipeHandle.get(), 0, /*threadId=*/nullptr));
    if (!listener) {
      trace(ci, "awaitExtractorClient(): CreateThread failed. Error= %d",
            static_cast<int>(GetLastError()));
      break;
    }
    const ULONGLONG now = GetTickCount64();
    const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
    UniqueFile self;
    HANDLE waits[] = {listener.get(), utility};
    const DWORD waited =
        WaitForMultipleObjects(utility != nullptr ? 2 : 1, waits, /*waitAll=*/FALSE, left);
    if (waited != WAIT_OBJECT_0) {
      if (waited == WAIT_OBJECT_0 + 1) {
        trace(ci, "awaitExtractorClient(): the utility ended without starting another extractor");
      } else {
        trace(ci, "awaitExtractorClient(): no extractor within %lu ms",
              static_cast<unsigned long>(waitMs));
      }
      listening = false;
      char name[kObjectNameSize];
      std::snprintf(name, sizeof name, "%s%s%s", kExtractorPipePrefix,
                    ci->installation.installationCode, ci->dbName);
      // Fails only when a client got there first, which ends the listen all the same.
      self.reset(CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, /*security=*/nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, /*template=*/nullptr));
      if (WaitForSingleObject(listener.get(), kSelfConnectWaitMs) != WAIT_OBJECT_0) {
        // A thread left blocked on the pipe would keep it from ever being closed.
        TerminateThread(listener.get(), ERROR_TIMEOUT);
      }
    }
    DWORD exitCode = ERROR_TIMEOUT;
    GetExitCodeThread(listener.get(), &exitCode);
    const bool someone = !self && (exitCode == 0 || exitCode == ERROR_PIPE_CONNECTED);
    if (self) DisconnectNamedPipe(ci->run.pipeHandle.get());
    if (someone) {
      connected = admitClient(ci);
      if (!connected) DisconnectNamedPipe(ci->run.pipeHandle.get());
    }
  }
  mode = PIPE_READMODE_MESSAGE | PIPE_NOWAIT;
  SetNamedPipeHandleState(ci->run.pipeHandle.get(), &mode, nullptr, nullptr);
  if (!connected) ConnectNamedPipe(ci->run.pipeHandle.get(), /*overlapped=*/nullptr);
  if (connected) ci->run.pipeConnected = 1;
  return connected;
}

bool readExtractorRecord(ConnectionRecord* ci, OidbMsg* msg, DWORD* error) {
  const ULONGLONG start = GetTickCount64();
  for (int attempt = 0;; ++attempt) {
    *msg = OidbMsg{};
    DWORD got = 0;
    if (ReadFile(ci->run.pipeHandle.get(), msg, sizeof *msg, &got, nullptr)) {
      if (got == sizeof *msg) return true;
      // A record is written with one write: a short one is not a record of this protocol.
      *error = ERROR_INVALID_DATA;
      return false;
    }
    *error = GetLastError();
    // Nothing written yet (ERROR_NO_DATA), or the extractor of the next location has not opened
    // the pipe yet (ERROR_PIPE_LISTENING): wait. Anything else ends the read.
    if (*error != ERROR_NO_DATA && *error != ERROR_PIPE_LISTENING) return false;
    // A listening pipe is asked once more whether its client has come; one that is not the run's
    // extractor is let go before anything of it is read.
    if (*error == ERROR_PIPE_LISTENING && !ConnectNamedPipe(ci->run.pipeHandle.get(), nullptr) &&
        GetLastError() == ERROR_PIPE_CONNECTED && !admitClient(ci)) {
      DisconnectNamedPipe(ci->run.pipeHandle.get());
      ConnectNamedPipe(ci->run.pipeHandle.get(), nullptr);
    }
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
  if (ci->run.pipeHandle &&
      WriteFile(ci->run.pipeHandle.get(), &msg, sizeof msg, &written, nullptr) &&
      written == sizeof msg) {
    trace(ci, "%s", successText);
  } else {
    trace(ci, failedFormat, static_cast<int>(GetLastError()));
  }
}

void releaseExtractor(ConnectionRecord* ci, int32_t type, const char* successText,
                      const char* failedFormat) {
  sendExtractorRecord(ci, type, successText, failedFormat);
  waitForExtractorToGo(ci, kExtractorReleaseMs);
}

void disconnectExtractor(ConnectionRecord* ci, const char* routine) {
  if (DisconnectNamedPipe(ci->run.pipeHandle.get())) {
    if (routine != nullptr) trace(ci, "%s(): DisconnectNamedPipe successful", routine);
    ci->run.pipeConnected = 0;
    return;
  }
  const DWORD error = GetLastError();
  if (routine == nullptr) {
    trace(ci, "disconnectExtractor(): DisconnectNamedPipe failed. Error= %d",
          static_cast<int>(error));
  } else {
    std::snprintf(sharedErrorText(), kSharedErrorTextSize,
                  "%s(): DisconnectNamedPipe failed. Error= %d", routine, static_cast<int>(error));
    trace(ci, "%s", sharedErrorText());
    Log_act(ci, messages::kActivityPipeNotDisconnected, error);
  }
  // The client is gone from the agent's point of view either way: the next listen replaces it.
  ci->run.pipeConnected = 0;
}

void abortExtractor(ConnectionRecord* ci, const char* routine) {
  if (ci->run.pipeConnected == 1 && ci->run.pipeHandle) {
    char sent[128];
    char failed[128];
    std::snprintf(sent, sizeof sent, "%s(): the extractor was told to abort", routine);
    std::snprintf(failed, sizeof failed, "%s(): the abort could not be sent. Error=%%d", routine);
    // Not waited for: whether the extractor reads the record or finds the pipe gone, it fails.
    sendExtractorRecord(ci, OIDBMSGTYPE_ABORT, sent, failed);
  }
  closeExtractorPipe(ci, routine);
}

bool extractorGone(ConnectionRecord* ci) {
  if (!ci->run.pipeHandle) return true;
  DWORD available = 0;
  if (PeekNamedPipe(ci->run.pipeHandle.get(), nullptr, 0, nullptr, &available, nullptr))
    return false;
  const DWORD error = GetLastError();
  return error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED || error == ERROR_NO_DATA;
}

void closeExtractorPipe(ConnectionRecord* ci, const char* routine) {
  if (ci->run.pipeConnected == 1) disconnectExtractor(ci, routine);
  ci->run.pipeConnected = 0;
  if (!ci->run.pipeHandle) {
    ci->run.pipeHandle.reset();
    return;
  }
  if (ci->run.pipeHandle.close()) {
    trace(ci, "%s(): pipeHandle closed successfully", routine);
  } else {
    trace(ci, "%s(): pipeHandle could not be closed.", routine);
  }
}

}  // namespace ferry::agent
