// The shipped account layer: the system's own logon, impersonation and process creation.
#include "account/account_layer.h"

namespace ferry::agent {
namespace {

DWORD lastErrorOr(BOOL ok) { return ok ? ERROR_SUCCESS : GetLastError(); }

class Win32AccountLayer final : public AccountLayer {
 public:
  DWORD logOn(const char* user, const char* domain, const char* password, HANDLE* token) override {
    *token = nullptr;
    return lastErrorOr(LogonUserA(user, domain, password, LOGON32_LOGON_INTERACTIVE,
                                  LOGON32_PROVIDER_DEFAULT, token));
  }
  DWORD impersonate(HANDLE token) override { return lastErrorOr(ImpersonateLoggedOnUser(token)); }
  DWORD revertToSelf() override { return lastErrorOr(RevertToSelf()); }
  DWORD currentUserName(char* buffer, DWORD* size) override {
    return lastErrorOr(GetUserNameA(buffer, size));
  }
  DWORD createProcessAsUser(HANDLE token, char* commandLine, BOOL inheritHandles,
                            DWORD creationFlags, STARTUPINFOA* startup,
                            PROCESS_INFORMATION* process) override {
    return lastErrorOr(CreateProcessAsUserA(token, /*application=*/nullptr, commandLine,
                                            /*processSecurity=*/nullptr,
                                            /*threadSecurity=*/nullptr, inheritHandles,
                                            creationFlags, /*environment=*/nullptr,
                                            /*currentDirectory=*/nullptr, startup, process));
  }
};

}  // namespace

AccountLayer& accountLayer() {
  static Win32AccountLayer layer;
  return layer;
}

}  // namespace ferry::agent
