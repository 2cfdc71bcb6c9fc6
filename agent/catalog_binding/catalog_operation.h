// Steps shared by the catalog operations: acting as the connection's account with the texts
// these operations trace, and closing the iidbdb session with its result rules.
#pragma once

#include <windows.h>

#include "connection/connection_record.h"

namespace ferry::agent {

// Acting as the connection's account; 0 or the raw system error of the logon or impersonation.
DWORD actAsCatalogAccount(ConnectionRecord* ci, bool skipWhenAlreadyAccount);

// How the operation's result and the disconnect's code combine.
enum class DisconnectRule {
  DisconnectFirst,  // a failed disconnect's code replaces the result (the database list)
  ResultFirst,      // a non-zero result wins; else the disconnect's code (the destinations)
};

// Closes the operation's session on iidbdb, traces the outcome under `routine` and returns the
// combined result.
int closeCatalogSession(OIConnInfo* connInfo, const char* routine, int result, DisconnectRule rule);

}  // namespace ferry::agent
