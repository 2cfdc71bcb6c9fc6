// Writing outcomes into the caller's SQL communication area.
#pragma once

#include "catalog/esql_runtime.h"
#include "runtime/runtime_status.h"

namespace ingsim::esql {

// Starts a statement: identifies the area, sets sqlcode 0, empties the message and the warnings.
// A null area is ignored.
void resetSqlca(IISQLCA* sqlca);

// Records `status` in the area: its sqlcode, and its message (cut to the 70 characters that
// sqlerrmc holds, not NUL-terminated when it fills them, as sqlerrml gives the length).
// A null area is ignored.
void reportToSqlca(IISQLCA* sqlca, const Status& status);

// Marks a character value cut to fit its host variable (sqlwarn0 and sqlwarn1 'W').
void warnTruncation(IISQLCA* sqlca);

}  // namespace ingsim::esql
