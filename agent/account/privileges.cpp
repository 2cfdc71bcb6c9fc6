#include "account/privileges.h"

#include <windows.h>

#include "core/line_format.h"
#include "core/privilege_list.h"
#include "library/agent_state.h"
#include "unique_handle.h"

namespace ferry::agent {
namespace {

// 0 when the privilege is now enabled, else the system error. A partial assignment
// (ERROR_NOT_ALL_ASSIGNED with a successful call) counts as failure.
DWORD enablePrivilege(HANDLE token, const char* name) {
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!LookupPrivilegeValueA(/*system=*/nullptr, name, &privileges.Privileges[0].Luid)) {
    return GetLastError();
  }
  SetLastError(ERROR_SUCCESS);
  if (!AdjustTokenPrivileges(token, /*disableAll=*/FALSE, &privileges, 0, nullptr, nullptr)) {
    return GetLastError();
  }
  return GetLastError();
}

}  // namespace

int SetAllPrivilege() {
  const DWORD access = TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY;
  UniqueHandleNull token;
  if (!OpenThreadToken(GetCurrentThread(), access, /*openAsSelf=*/TRUE, token.put()) &&
      !OpenProcessToken(GetCurrentProcess(), access, token.put())) {
    formatMessage(sharedErrorText(), kSharedErrorTextSize,
                  "ERROR:OpenToken(): Error in OpenProcessToken(). EC= %d",
                  static_cast<int>(GetLastError()));
    return 0;
  }
  bool all = true;
  for (const PrivilegeEntry& entry : kAllPrivileges) {
    DWORD error = enablePrivilege(token.get(), entry.name);
    if (error != ERROR_SUCCESS) {
      all = false;
      formatMessage(sharedErrorText(), kSharedErrorTextSize, "%s-%d", entry.failureText,
                    static_cast<int>(error));
    }
  }
  return all ? 1 : 0;
}

}  // namespace ferry::agent
