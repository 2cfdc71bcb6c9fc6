// Acting as the connection's account: the steps every routine that touches Ingres files or
// starts Ingres utilities for a connection runs first.
//
// Conventions:
// - Returns 0, or the system error of the logon or the impersonation unchanged (not offset by
//   10000).
// - Trace lines start with the calling routine's name (e.g. "beginBackupJN").
// - The impersonation stays in force on the calling thread when this returns; it ends when the
//   connection is disconnected or the connect step reverts it.
// - A token from the local logon is kept in hAccessToken (replacing and closing an earlier
//   one); a token from the domain retry serves the impersonation only and is closed here.
#pragma once

#include <windows.h>

#include "connection/connection_record.h"

namespace ferry::agent {

struct ActAsAccountTexts {
  // Name in front of every line, without "()".
  const char* routine = "beginBackupJN";
  // Line traced when the local logon fails, after "<routine>(): ".
  const char* localLogonFailed = "Logon user failed for the local database, trying with domain";
  // Name in front of that one line when it differs from `routine` (the catalog operations trace
  // it under a shorter name); null: `routine`.
  const char* localLogonFailedRoutine = nullptr;
  // Skip the logon when the thread already runs as the connection's account.
  bool skipWhenAlreadyAccount = true;
};

DWORD actAsConnectionAccount(ConnectionRecord* ci, const ActAsAccountTexts& texts = {});

}  // namespace ferry::agent
