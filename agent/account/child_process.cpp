#include "account/child_process.h"

#include <vector>

#include "account/account_layer.h"

namespace ferry::agent {

DWORD startChildProcess(HANDLE token, char* commandLine, const STARTUPINFOA& startup,
                        std::initializer_list<HANDLE> inherited, PROCESS_INFORMATION* process) {
  *process = {};
  std::vector<HANDLE> handles;
  for (HANDLE handle : inherited) {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) handles.push_back(handle);
  }
  STARTUPINFOEXA extended = {};
  extended.StartupInfo = startup;
  DWORD flags = 0;
  std::vector<BYTE> attributeList;
  if (!handles.empty()) {
    // The handles are made inheritable for this start only, and the list names them: whatever
    // else might be inheritable in the process stays with it.
    for (HANDLE handle : handles) {
      SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    }
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    attributeList.resize(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributeList.data());
    if (size != 0 && InitializeProcThreadAttributeList(list, 1, 0, &size) &&
        UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles.data(),
                                  handles.size() * sizeof(HANDLE), nullptr, nullptr)) {
      extended.lpAttributeList = list;
      extended.StartupInfo.cb = sizeof extended;
      flags = EXTENDED_STARTUPINFO_PRESENT;
    }
  }
  const BOOL inherit = handles.empty() ? FALSE : TRUE;
  DWORD error = 0;
  if (token != nullptr && token != INVALID_HANDLE_VALUE) {
    error = accountLayer().createProcessAsUser(token, commandLine, inherit, flags,
                                               &extended.StartupInfo, process);
  } else if (!CreateProcessA(/*application=*/nullptr, commandLine, /*process=*/nullptr,
                             /*thread=*/nullptr, inherit, flags, /*environment=*/nullptr,
                             /*currentDirectory=*/nullptr, &extended.StartupInfo, process)) {
    error = GetLastError();
  }
  if (extended.lpAttributeList != nullptr) DeleteProcThreadAttributeList(extended.lpAttributeList);
  for (HANDLE handle : handles) SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0);
  return error;
}

}  // namespace ferry::agent
