#include "siphon_harness.h"

#include "process_information.h"
#include "support/win_process.h"

namespace ferry::test {

std::string extractorPipeName(const std::string& code, const std::string& database) {
  return std::string(kExtractorPipePrefix) + code + database;
}

PipeServer::PipeServer(const std::string& name) {
  SECURITY_DESCRIPTOR descriptor;
  InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&descriptor, TRUE, /*dacl=*/nullptr, FALSE);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
  pipe_.reset(CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                               PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                               /*maxInstances=*/1, 32768, 32768, /*defaultTimeout=*/30000,
                               &attributes));
  if (!pipe_) {
    setupError_ = GetLastError();
    return;
  }
  connectEvent_.reset(CreateEventA(nullptr, /*manualReset=*/TRUE, FALSE, nullptr));
  ioEvent_.reset(CreateEventA(nullptr, /*manualReset=*/TRUE, FALSE, nullptr));
  if (!connectEvent_ || !ioEvent_) {
    setupError_ = GetLastError();
    return;
  }
  // Listen from the start: the connect completes only if a siphon connected, whatever it did
  // afterwards.
  connect_.hEvent = connectEvent_.get();
  if (ConnectNamedPipe(pipe_.get(), &connect_)) {
    connected_ = true;
    return;
  }
  DWORD error = GetLastError();
  if (error == ERROR_PIPE_CONNECTED) {
    connected_ = true;
  } else if (error != ERROR_IO_PENDING) {
    setupError_ = error;
  }
}

PipeServer::~PipeServer() {
  if (pipe_) {
    CancelIo(pipe_.get());
    DWORD ignored = 0;
    // Wait for the cancelled connect, so that connect_ is not written after it is gone.
    if (!connected_) GetOverlappedResult(pipe_.get(), &connect_, &ignored, TRUE);
  }
}

bool PipeServer::clientSeen() {
  if (!connected_ && WaitForSingleObject(connectEvent_.get(), 0) == WAIT_OBJECT_0)
    connected_ = true;
  return connected_;
}

DWORD PipeServer::awaitClient(HANDLE process) {
  if (clientSeen()) return 0;
  HANDLE handles[] = {connectEvent_.get(), process};
  DWORD which = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
  if (which == WAIT_OBJECT_0) {
    connected_ = true;
    return 0;
  }
  // siphon may have connected and ended in the same moment.
  return clientSeen() ? 0 : ERROR_PROCESS_ABORTED;
}

DWORD PipeServer::read(OidbMsg* msg, DWORD* bytes) {
  OVERLAPPED overlapped{};
  overlapped.hEvent = ioEvent_.get();
  ResetEvent(ioEvent_.get());
  *bytes = 0;
  if (!ReadFile(pipe_.get(), msg, sizeof *msg, nullptr, &overlapped) &&
      GetLastError() != ERROR_IO_PENDING) {
    return GetLastError();
  }
  if (!GetOverlappedResult(pipe_.get(), &overlapped, bytes, /*wait=*/TRUE)) return GetLastError();
  return 0;
}

DWORD PipeServer::write(const OidbMsg& msg) {
  OVERLAPPED overlapped{};
  overlapped.hEvent = ioEvent_.get();
  ResetEvent(ioEvent_.get());
  if (!WriteFile(pipe_.get(), &msg, sizeof msg, nullptr, &overlapped) &&
      GetLastError() != ERROR_IO_PENDING) {
    return GetLastError();
  }
  DWORD written = 0;
  if (!GetOverlappedResult(pipe_.get(), &overlapped, &written, /*wait=*/TRUE))
    return GetLastError();
  return written == sizeof msg ? 0 : ERROR_WRITE_FAULT;
}

SiphonRun::~SiphonRun() {
  const UniqueHandleNull owned(process);
  if (owned && WaitForSingleObject(process, 0) == WAIT_TIMEOUT) TerminateProcess(process, 99);
}

DWORD SiphonRun::exitCode() {
  if (process == nullptr) return STILL_ACTIVE;
  // Only a guard against a hung siphon; no result depends on how long the run takes.
  if (WaitForSingleObject(process, 60000) != WAIT_OBJECT_0) {
    TerminateProcess(process, STILL_ACTIVE);
    WaitForSingleObject(process, INFINITE);
    return STILL_ACTIVE;
  }
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(process, &code);
  return code;
}

void startSiphon(const std::string& arguments, SiphonRun* run) {
  std::string commandLine = "\"" + binDir() + "\\siphon.exe\" " + arguments;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  UniqueProcessInformation started;
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, /*inherit=*/FALSE,
                      CREATE_NO_WINDOW, nullptr, nullptr, &startup, started.put())) {
    run->startError = GetLastError();
    return;
  }
  run->process = started.takeProcess().release();
}

TestFolder::TestFolder(const std::string& name) : path_("C:\\ferrytest\\" + name) {
  removeTree(path_);
  CreateDirectoryA("C:\\ferrytest", nullptr);
  CreateDirectoryA(path_.c_str(), nullptr);
}

TestFolder::~TestFolder() { removeTree(path_); }

bool TestFolder::addFile(const std::string& name) {
  UniqueFile file(CreateFileA((path_ + "\\" + name).c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.valid();
}

bool TestFolder::addFolder(const std::string& name) {
  return CreateDirectoryA((path_ + "\\" + name).c_str(), nullptr) != FALSE;
}

std::vector<std::string> listFiles(const std::string& folder, const std::string& pattern) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA entry;
  UniqueFind find(FindFirstFileA((folder + "\\" + pattern).c_str(), &entry));
  if (!find) return names;
  do {
    names.push_back(entry.cFileName);
  } while (FindNextFileA(find.get(), &entry));
  return names;
}

std::string readWholeFile(const std::string& path) {
  std::string text;
  UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return text;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    text.append(buffer, got);
  }
  return text;
}

}  // namespace ferry::test
