// One data backup or restore per installation at a time. The installation has one checkpoint
// template, which every data run rewrites with its own pipe name, and one installation-wide
// II_CKTMPL_FILE, which ingunset clears: a second run, or a disconnect, must not pull them from
// under a running ckpdb or rollforwarddb.
//
// Conventions:
// - Held from the begin of a data backup or restore to its end, per connection, in the machine-
//   wide semaphore of one "ferryman_datarun_<installation code>" (made with the agent's DACL,
//   library/named_objects.h) and, for the connections of this
//   process, in a table of its own (one thread may serve two connections, and begin and end may
//   come from different threads).
// - Callers hold the agent lock.
#pragma once

#include <windows.h>

#include "connection/connection_record.h"

namespace ferry::agent {

// Takes the installation's run lock for `ci`: 0 (also when `ci` holds it already),
// DSA_ERROR_INSTALLATION_BUSY (traced and logged) when another connection runs one, or
// DSA_ERROR_FOREIGN_OBJECT (traced and logged with the lock's name) when a semaphore of that name
// belongs to another account.
DWORD acquireRunLock(ConnectionRecord* ci, const char* routine);

// Gives it back; nothing when `ci` does not hold it.
void releaseRunLock(ConnectionRecord* ci);

// True when a data run of `ci`'s installation is under way on another connection (of any
// process): ingunset would clear the template under it.
bool otherRunActive(ConnectionRecord* ci);

}  // namespace ferry::agent
