// Laying the connection's account aside for a moment: what belongs to the agent itself (its
// named kernel objects, its settings below the product's registry root) is made and read as the
// host process's own account, never as the account a thread happens to act as. A begin step
// leaves the thread acting as the connection's account between calls; these steps may come on
// such a thread.
//
// Conventions: no exceptions; the thread's impersonation, if it had one, is in force again
// when the scope ends, and GetLastError() is kept across the end.
#pragma once

#include <windows.h>

#include "unique_handle.h"

namespace ferry::agent {

class HostAccountScope {
 public:
  HostAccountScope();
  ~HostAccountScope();
  HostAccountScope(const HostAccountScope&) = delete;
  HostAccountScope& operator=(const HostAccountScope&) = delete;

  // True while the thread acts as the host process's account: it did not act as another, or
  // that account was laid aside. False when the thread's token could not be read; the thread
  // then goes on as the account it acts as.
  bool asHost() const { return asHost_; }

 private:
  UniqueHandleNull impersonation_;  // the thread's token to put back, if it had one
  bool asHost_ = false;
};

}  // namespace ferry::agent
