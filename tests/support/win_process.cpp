#include "support/win_process.h"

#include <tlhelp32.h>

#include <shellapi.h>

#include <thread>
#include <vector>

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
  HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
  CreatePipe(&outRead, &outWrite, &inherit, 0);
  CreatePipe(&errRead, &errWrite, &inherit, 0);
  SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = outWrite;
  si.hStdError = errWrite;
  PROCESS_INFORMATION pi{};
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  BOOL ok = CreateProcessA(/*application=*/nullptr, line.data(), nullptr, nullptr,
                           /*inherit=*/TRUE, 0, nullptr, nullptr, &si, &pi);
  if (!ok) result.error = GetLastError();
  // Our copies of the write ends must go, or the readers never see the end of the streams.
  CloseHandle(outWrite);
  CloseHandle(errWrite);
  if (ok) {
    result.started = true;
    std::thread outReader(drain, outRead, &result.out);
    std::thread errReader(drain, errRead, &result.err);
    if (WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_TIMEOUT) {
      result.timedOut = true;
      TerminateProcess(pi.hProcess, 1);
      WaitForSingleObject(pi.hProcess, INFINITE);
    }
    GetExitCodeProcess(pi.hProcess, &result.exitCode);
    outReader.join();
    errReader.join();
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  CloseHandle(outRead);
  CloseHandle(errRead);
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
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  int terminated = 0;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    if (lstrcmpiA(entry.szExeFile, image) != 0) continue;
    if (HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID)) {
      if (TerminateProcess(process, 1)) ++terminated;
      WaitForSingleObject(process, 5000);
      CloseHandle(process);
    }
  }
  CloseHandle(snapshot);
  return terminated;
}

int processesNamed(const char* image) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  int found = 0;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    if (lstrcmpiA(entry.szExeFile, image) == 0) ++found;
  }
  CloseHandle(snapshot);
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
