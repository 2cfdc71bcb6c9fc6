// The connection's Ingres installation: its root (II_SYSTEM) found in the registry and
// published, its variables printed by ingprenv, one variable's value, a database's current
// journal sequence from infodb, and the installation owner.
//
// Conventions:
// - Called on the DSA function's thread under the agent lock; trace lines go to the
//   connection's trace log.
// - Results: 0 success; agent codes below 10000; 10000 + the system error otherwise.
// - Every text copied into a record field or caller buffer is cut to that buffer.
#pragma once

#include <windows.h>

#include <cstddef>

#include "connection/connection_record.h"

namespace ferry::agent {

// Finds II_SYSTEM, records iiSystem and pathValue, publishes II_SYSTEM machine-wide (when the
// installation registers its key) and in the agent's environment, and sets the installation
// variables (ingprenv runs once per connection) in the agent's environment. 0; 1 when ingprenv
// did not finish; 10000 or 10000 + error otherwise.
int SetIISYSTEM(OIConnInfo* connInfo);

// The value of installation variable `name` into `value` (at least 256 bytes): from the
// connection's cache, else from "ingprenv <name>". 0; 1 when ingprenv printed nothing; errno
// when its output cannot be read; 10000 + error when it cannot be started; 5 without a
// session block.
int getOpIngresVarValue(OIConnInfo* connInfo, const char* name, char* value);

// The current journal sequence of `dbName` from infodb's report, stored in the record's
// currentJournalNumber (0 when the report names none). 0; 5 without a session block; 10000 +
// error when infodb cannot be run or its output cannot be opened. `token` runs infodb as that
// account; INVALID_HANDLE_VALUE runs it as the agent's own.
int getOpIngresInfodbInfo(OIConnInfo* connInfo, const char* dbName, void* ignored, HANDLE token);

// The installation owner into `owner`; left unchanged when none can be determined.
void GetInstallationOwner(ConnectionRecord* ci, char* owner, size_t ownerSize);

}  // namespace ferry::agent
