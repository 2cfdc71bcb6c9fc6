// What the backup flow gives remote streaming (remote/), the only part of it that the remote
// writer sees: the current object's stream piece by piece, as a local DSARead would return it,
// and the end of the file a stream was cut in.
//
// Conventions: under the agent lock; the results are the readers' (backup_flow.h).
#pragma once

#include <windows.h>

#include <cstdint>

#include "connection/connection_record.h"

namespace ferry::agent {

// The next piece of the current object's stream by its kind (the data, journal or
// configuration reader): what one local DSARead returns. The remote writer reads through it too.
DWORD readObjectPiece(ConnectionRecord* ci, int connectionId, int backupId, void* buffer,
                      uint32_t* count);

// The end of one file: closes ci->fd (traced with `closeFailedFormat` and the C runtime's error
// number when that fails) and clears it.
void closeObjectFile(ConnectionRecord* ci, const char* closeFailedFormat);

}  // namespace ferry::agent
