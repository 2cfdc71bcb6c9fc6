// The output files of a checkpoint or roll-forward run: "<agent folder>\<stem><code><db>.out",
// names anyone can predict. The files are the agent's; the utility gets them as its standard
// handles only.
#pragma once

#include <windows.h>

#include "connection/connection_record.h"
#include "unique_handle.h"

namespace ferry::agent {

// Creates the file `path` afresh, or empties the plain file of that name. A link, reparse point
// or second name of another file there is never written through: none is returned and
// *refused set (traced for `routine` and logged). Any other failure returns none with the
// system error in GetLastError() and leaves *refused as it was.
UniqueFile createOutputFile(ConnectionRecord* ci, const char* routine, const char* path,
                            bool* refused);

}  // namespace ferry::agent
