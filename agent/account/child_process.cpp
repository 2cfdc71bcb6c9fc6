#include "account/child_process.h"

#include <vector>

#include "account/account_layer.h"
#include "core/message_ids.h"
#include "core/result_codes.h"
#include "logs/activity_log.h"
#include "logs/trace.h"
#include "unique_handle.h"

namespace ferry::agent {
namespace {

// The attribute list that names the child's handles; deleted with the list's owner.
class HandleList {
 public:
  HandleList() = default;
  HandleList(const HandleList&) = delete;
  HandleList& operator=(const HandleList&) = delete;
  ~HandleList() {
    if (initialised_) DeleteProcThreadAttributeList(list());
  }
  // 0 or the system error of the step that failed.
  DWORD build(std::vector<HANDLE>* handles) {
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    if (size == 0) return GetLastError() != 0 ? GetLastError() : ERROR_INVALID_PARAMETER;
    buffer_.resize(size);
    if (!InitializeProcThreadAttributeList(list(), 1, 0, &size)) return GetLastError();
    initialised_ = true;
    // The list refers to `handles`, which must outlive the start.
    if (!UpdateProcThreadAttribute(list(), 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles->data(),
                                   handles->size() * sizeof(HANDLE), nullptr, nullptr)) {
      return GetLastError();
    }
    return 0;
  }
  LPPROC_THREAD_ATTRIBUTE_LIST list() {
    return reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer_.data());
  }

 private:
  std::vector<BYTE> buffer_;
  bool initialised_ = false;
};

// The standard handle `slot` of the child: the copy of the handle it names, if it names one.
void useCopy(HANDLE* slot, HANDLE original, HANDLE copy) {
  if (*slot == original) *slot = copy;
}

DWORD refuseStart(ConnectionRecord* ci, const char* commandLine, DWORD error) {
  trace(ci, "startChildProcess(): the handle list could not be built. Error = %lu; not started: %s",
        error, commandLine);
  Log_act(ci, messages::kActivityChildHandles, commandLine, error);
  return kChildHandlesNotListed;
}

}  // namespace

DWORD startChildProcess(ConnectionRecord* ci, HANDLE token, char* commandLine,
                        const STARTUPINFOA& startup, std::initializer_list<HANDLE> inherited,
                        PROCESS_INFORMATION* process) {
  *process = {};
  STARTUPINFOEXA extended = {};
  extended.StartupInfo = startup;
  std::vector<UniqueHandleNull> copies;
  std::vector<HANDLE> handles;
  for (HANDLE handle : inherited) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) continue;
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0,
                         /*inherit=*/TRUE, DUPLICATE_SAME_ACCESS)) {
      return refuseStart(ci, commandLine, GetLastError());
    }
    copies.emplace_back(copy);
    handles.push_back(copy);
    useCopy(&extended.StartupInfo.hStdInput, handle, copy);
    useCopy(&extended.StartupInfo.hStdOutput, handle, copy);
    useCopy(&extended.StartupInfo.hStdError, handle, copy);
  }
  HandleList list;
  DWORD flags = 0;
  if (!handles.empty()) {
    if (DWORD error = list.build(&handles); error != 0) return refuseStart(ci, commandLine, error);
    extended.lpAttributeList = list.list();
    extended.StartupInfo.cb = sizeof extended;
    flags = EXTENDED_STARTUPINFO_PRESENT;
  }
  // Without handles to hand on, nothing is inherited at all.
  const BOOL inherit = handles.empty() ? FALSE : TRUE;
  if (token != nullptr && token != INVALID_HANDLE_VALUE) {
    return accountLayer().createProcessAsUser(token, commandLine, inherit, flags,
                                              &extended.StartupInfo, process);
  }
  if (!CreateProcessA(/*application=*/nullptr, commandLine, /*process=*/nullptr,
                      /*thread=*/nullptr, inherit, flags, /*environment=*/nullptr,
                      /*currentDirectory=*/nullptr, &extended.StartupInfo, process)) {
    return GetLastError();
  }
  return 0;
}

DWORD childStartResult(DWORD error) {
  return error == kChildHandlesNotListed ? DSA_ERROR_CHILD_HANDLES : resultFromWin32(error);
}

}  // namespace ferry::agent
