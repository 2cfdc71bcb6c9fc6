// The account seam: the only place where the agent logs accounts on, impersonates them and
// starts processes as them.
//
// Conventions:
// - Every function returns 0 or the system error code (as GetLastError would give it) and sets
//   no out-parameter on failure beyond its failure value.
// - The shipped library links the Win32 implementation (LogonUserA and friends); the testbed
//   build links the simulated account directory instead. Exactly one implementation of
//   accountLayer() is linked into a library.
// - Impersonation is per thread: impersonate() and revertToSelf() act on the calling thread, and
//   currentUserName() reports the calling thread's account.
// - Tokens returned by logOn are the caller's; close them with CloseHandle.
#pragma once

#include <windows.h>

namespace ferry::agent {

class AccountLayer {
 public:
  virtual ~AccountLayer() = default;

  // Interactive logon with the default provider; `domain` "." is the local machine. On success
  // *token receives the logon token; on failure it is null.
  virtual DWORD logOn(const char* user, const char* domain, const char* password,
                      HANDLE* token) = 0;
  virtual DWORD impersonate(HANDLE token) = 0;
  virtual DWORD revertToSelf() = 0;
  // GetUserNameA's contract: *size is the buffer size in, the length with NUL out.
  virtual DWORD currentUserName(char* buffer, DWORD* size) = 0;
  // CreateProcessAsUserA with no application name and no security attributes.
  virtual DWORD createProcessAsUser(HANDLE token, char* commandLine, BOOL inheritHandles,
                                    DWORD creationFlags, STARTUPINFOA* startup,
                                    PROCESS_INFORMATION* process) = 0;
};

AccountLayer& accountLayer();

}  // namespace ferry::agent
