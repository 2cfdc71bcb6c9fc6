#include "runs.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "oidb_msg.h"
#include "trace.h"
#include "unique_handle.h"

namespace ferry::extractor {
namespace {

constexpr int kOpenAttempts = 10;
// The agent's pipe exists before the utility starts siphon, and the agent listens again as soon
// as it has let the previous location go; even with the agent busy on another connection's
// longest wait (infodb, 300 s) the pipe comes well within this. On expiry the run fails.
constexpr DWORD kPipeWaitMs = 600000;
// The longest single wait for the pipe, and the pause after finding it busy.
constexpr DWORD kWaitStepMs = 1000;
constexpr DWORD kBusyPauseMs = 20;
constexpr DWORD kBackupRetrySleepMs = 500;
// Restore jobs only yield between attempts.
constexpr DWORD kRestoreRetrySleepMs = 0;

// An exit code that reports a failure even when the system left no error code behind.
DWORD failureCode() {
  DWORD error = GetLastError();
  return error != 0 ? error : ERROR_GEN_FAILURE;
}

struct PipeOpen {
  UniqueFile pipe;
  DWORD error = 0;
};

// Opens the agent's pipe. The wait for a free instance goes in short steps, each ending in an
// attempt to open: a waiter is not always woken when the agent listens again after letting
// another client go. While another client holds the one instance (the agent's previous location,
// or a client the agent is turning away) the open is tried again until the bound.
PipeOpen openPipe(const std::string& name, bool backup) {
  PipeOpen result;
  trace("pipeName = %s", name.c_str());
  const ULONGLONG deadline = GetTickCount64() + kPipeWaitMs;
  auto waitStep = [&] {
    const ULONGLONG now = GetTickCount64();
    const ULONGLONG left = now < deadline ? deadline - now : 0;
    return static_cast<DWORD>(left < kWaitStepMs ? left : kWaitStepMs);
  };
  bool waited = false;
  for (int retry = 0; retry < kOpenAttempts;) {
    const DWORD step = waitStep();  // 0 would be the pipe's default wait, not none
    if (step != 0 && WaitNamedPipeA(name.c_str(), step)) {
      if (!waited) trace("WaitNamedPipe() successful.");
      waited = true;
    } else if (step == 0 || GetLastError() != ERROR_SEM_TIMEOUT) {
      result.error = step == 0 ? static_cast<DWORD>(ERROR_SEM_TIMEOUT) : failureCode();
      trace("WaitNamedPipe failed. Error=%lx", result.error);
      return result;
    }
    // Identification only: a server that took the pipe's name before the agent may learn who
    // the extractor runs as, but cannot act as that account.
    result.pipe.reset(
        CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    /*security=*/nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                    /*template=*/nullptr));
    if (result.pipe) {
      result.error = 0;
      trace("CreateFile() for the pipe successful.");
      return result;
    }
    result.error = failureCode();
    if (result.error == ERROR_PIPE_BUSY) {
      Sleep(kBusyPauseMs);  // a wait that returns at once must not make this a busy loop
      continue;             // not a failed attempt
    }
    if (backup) {
      trace("CreateFile() failed. Error = %lu, retry=%d", result.error, retry);
    } else {
      trace("CreateFile() failed. Error = %lu,retry=%d", result.error, retry);
    }
    if (++retry < kOpenAttempts) Sleep(backup ? kBackupRetrySleepMs : kRestoreRetrySleepMs);
  }
  return result;
}

bool send(HANDLE pipe, const OidbMsg& msg) {
  DWORD written = 0;
  if (!WriteFile(pipe, &msg, sizeof msg, &written, /*overlapped=*/nullptr) ||
      written != sizeof msg) {
    trace("WriteFile() failed. Error=%lu", GetLastError());
    return false;
  }
  trace("WriteFile() successful");
  return true;
}

// Blocks until the agent's release record. Any release ends the run normally; the agent's abort
// record, or the pipe going without a record (the agent gave up or went away), ends it with a
// failure, so that the utility fails the location instead of taking it as done.
int awaitRelease(HANDLE pipe) {
  OidbMsg msg;
  std::memset(&msg, 0, sizeof msg);
  DWORD read = 0;
  if (!ReadFile(pipe, &msg, sizeof msg, &read, /*overlapped=*/nullptr)) {
    const DWORD error = failureCode();
    trace("ReadFile Failed. Error = %lu", error);
    trace("siphon.exe exit: the agent went without releasing the location.");
    return static_cast<int>(error);
  }
  trace("MsgType= %d received.", msg.MsgType);
  if (msg.MsgType == OIDBMSGTYPE_ABORT) {
    trace("siphon.exe exit: the agent aborted the location.");
    return ERROR_OPERATION_ABORTED;
  }
  trace("siphon.exe exit normally.");
  return 0;
}

void traceRunStart(const char* run, const CommandLine& line) {
  std::string prefix(checkpointPrefix(line.ckpdbName));
  trace("%s: Function called", run);
  trace("%s: Ckpdb_name = %s", run, line.ckpdbName.c_str());
  trace("pipeName=%s", line.pipeName.c_str());
  if (std::strcmp(run, "db_backup") == 0) {
    trace("%s:Ckpdbno = %s", run, prefix.c_str());
  } else {
    trace("%s: Ckpdbno = %s", run, prefix.c_str());
  }
}

bool isDotEntry(const char* name) {
  return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

}  // namespace

int runBackup(const CommandLine& line) {
  const char* run = "db_backup";
  traceRunStart(run, line);
  trace("%s: About to open the directory %s", run, line.path.c_str());
  std::string pattern = line.path + "\\*.*";
  WIN32_FIND_DATAA entry;
  UniqueFind listing(FindFirstFileA(pattern.c_str(), &entry));
  if (!listing) {
    DWORD error = failureCode();
    trace("FindFirstFile() returned Invalid Handle. Error=%lx", error);
    return static_cast<int>(error);
  }
  PipeOpen open = openPipe(line.pipeName, /*backup=*/true);
  if (!open.pipe) return static_cast<int>(open.error);
  HANDLE pipe = open.pipe.get();

  if (send(pipe, makeOidbMsg(OIDBMSGTYPE_CKPDB_NAME, {}, line.ckpdbName))) {
    for (;;) {
      if (!isDotEntry(entry.cFileName)) {
        trace("FileName = %s", entry.cFileName);
        std::string full = fileEntryPath(line.path, entry.cFileName);
        if (!fitsObjectName(full)) {
          // A cut path would make the agent back up the wrong file or none; leaving the entry
          // out would lose it silently. Ending without the type-2 record makes the agent's next
          // read fail, so the backup fails where it can be seen.
          trace("Error : %s: full file name longer than %d characters: %s", run,
                static_cast<int>(kMaxObjectNameLength), full.c_str());
          return ERROR_FILENAME_EXCED_RANGE;
        }
        send(pipe, makeOidbMsg(OIDBMSGTYPE_FILE_NAME, full, line.ckpdbName));
      }
      if (!FindNextFileA(listing.get(), &entry)) {
        DWORD error = GetLastError();
        if (error != ERROR_NO_MORE_FILES) {
          // A listing cut short must not pass as the whole location: no end record, and the
          // pipe closes with the process, so the agent's next read fails where it can be seen.
          trace("FindNextFile() failed. Error=%lu; the location's listing is incomplete.", error);
          return static_cast<int>(error != 0 ? error : ERROR_GEN_FAILURE);
        }
        trace("No More Files..");
        break;
      }
    }
    send(pipe, makeOidbMsg(OIDBMSGTYPE_NO_MORE_FILES));
  }
  return awaitRelease(pipe);
}

int runRestore(const CommandLine& line) {
  const char* run = "db_restore";
  traceRunStart(run, line);
  std::string request = restoreRequestName(line);
  trace("%s: Queried full file name= %s", run, request.c_str());
  PipeOpen open = openPipe(line.pipeName, /*backup=*/false);
  // Ten failed opens fail the run: a roll-forward must not go on past a location that was
  // never filled.
  if (!open.pipe) return static_cast<int>(open.error);
  send(open.pipe.get(), makeOidbMsg(OIDBMSGTYPE_RESTORE_REQUEST, request, line.ckpdbName));
  return awaitRelease(open.pipe.get());
}

}  // namespace ferry::extractor
