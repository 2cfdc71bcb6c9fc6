// What the restore flow gives remote streaming (remote/), the only part of it that the remote
// reader sees: a block of the session's open file written, as a local DSAWrite writes it.
//
// Conventions: under the agent lock; the file is the one the session's header opened (ci->fd).
#pragma once

#include <windows.h>

#include <cstdint>

#include "connection/connection_record.h"

namespace ferry::agent {

// Writes `bytes` of `buffer` to the open file: 0; 9 no restore running; 1 the write failed (the
// file is then discarded).
DWORD dsaWrite_cldsa(ConnectionRecord* ci, const void* buffer, uint32_t bytes);

}  // namespace ferry::agent
