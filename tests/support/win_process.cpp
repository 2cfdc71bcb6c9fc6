#include "support/win_process.h"

#include <tlhelp32.h>

#include <shellapi.h>

#include <thread>
#include <vector>

#include "process_information.h"
#include "unique_handle.h"

namespace ferry::test {
namespace {

std::string moduleFileName() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  return std::string(path, n);
}

void drain(HANDLE pipe, std::string* into) {
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    into->append(buffer, got);
  }
}

}  // namespace

std::string binDir() {
  std::string path = moduleFileName();
  return path.substr(0, path.find_last_of('\\'));
}

std::string selfPath() { return moduleFileName(); }

ProcessResult runProcess(const std::string& commandLine, DWORD timeoutMs) {
  ProcessResult result;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  UniqueHandleNull outRead, outWrite, errRead, errWrite;
  CreatePipe(outRead.put(), outWrite.put(), &inherit, 0);
  CreatePipe(errRead.put(), errWrite.put(), &inherit, 0);
  SetHandleInformation(outRead.get(), HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(errRead.get(), HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = outWrite.get();
  si.hStdError = errWrite.get();
  UniqueProcessInformation process;
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  BOOL ok = CreateProcessA(/*application=*/nullptr, line.data(), nullptr, nullptr,
                           /*inherit=*/TRUE, 0, nullptr, nullptr, &si, process.put());
  if (!ok) result.error = GetLastError();
  // Our copies of the write ends must go, or the readers never see the end of the streams.
  outWrite.reset();
  errWrite.reset();
  if (ok) {
    result.started = true;
    std::thread outReader(drain, outRead.get(), &result.out);
    std::thread errReader(drain, errRead.get(), &result.err);
    if (WaitForSingleObject(process.process(), timeoutMs) == WAIT_TIMEOUT) {
      result.timedOut = true;
      TerminateProcess(process.process(), 1);
      WaitForSingleObject(process.process(), INFINITE);
    }
    GetExitCodeProcess(process.process(), &result.exitCode);
    outReader.join();
    errReader.join();
  }
  return result;
}

void removeTree(const std::string& path) {
  if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return;
  std::string from = path;
  from.push_back('\0');  // SHFileOperation takes a double-NUL-terminated list
  SHFILEOPSTRUCTA op{};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_NO_UI;
  SHFileOperationA(&op);
}

int terminateProcesses(const char* image) {
  UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return 0;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  int terminated = 0;
  for (BOOL more = Process32First(snapshot.get(), &entry); more;
       more = Process32Next(snapshot.get(), &entry)) {
    if (lstrcmpiA(entry.szExeFile, image) != 0) continue;
    UniqueHandleNull process(
        OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID));
    if (process) {
      if (TerminateProcess(process.get(), 1)) ++terminated;
      WaitForSingleObject(process.get(), 5000);
    }
  }
  return terminated;
}

int processesNamed(const char* image) {
  UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return -1;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  int found = 0;
  for (BOOL more = Process32First(snapshot.get(), &entry); more;
       more = Process32Next(snapshot.get(), &entry)) {
    if (lstrcmpiA(entry.szExeFile, image) == 0) ++found;
  }
  return found;
}

bool noProcessNamedWithin(const char* image, DWORD limitMs) {
  for (DWORD waited = 0; processesNamed(image) != 0; waited += 100) {
    if (waited >= limitMs) return false;
    Sleep(100);
  }
  return true;
}

}  // namespace ferry::test
