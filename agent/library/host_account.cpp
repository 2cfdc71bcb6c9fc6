#include "library/host_account.h"

namespace ferry::agent {

HostAccountScope::HostAccountScope() {
  // As self: the account the thread acts as may not be allowed to open its own token.
  if (!OpenThreadToken(GetCurrentThread(), TOKEN_IMPERSONATE | TOKEN_QUERY, /*openAsSelf=*/TRUE,
                       impersonation_.put())) {
    asHost_ = GetLastError() == ERROR_NO_TOKEN;  // the thread acts as the process already
    return;
  }
  asHost_ = RevertToSelf() != FALSE;
  if (!asHost_) impersonation_.reset();
}

HostAccountScope::~HostAccountScope() {
  if (!impersonation_) return;
  const DWORD saved = GetLastError();
  // Put back with the token itself, which needs no logon: the thread acts as the connection's
  // account again, exactly as before. Not checked: the token was the thread's a moment ago, and
  // the system refuses a thread its own impersonation token only when out of memory.
  SetThreadToken(/*thread=*/nullptr, impersonation_.get());
  SetLastError(saved);
}

}  // namespace ferry::agent
