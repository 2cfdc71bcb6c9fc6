// The object catalogue's internal routines: sizes and property sheets of objects, and the
// directory measurement behind both.
//
// Conventions:
// - Called by DSAEnumObjects under the agent lock; trace lines go to the connection's log.
// - A size that cannot be found never fails a call: it reads 3000 KB, or the label-305 text.
#pragma once

#include <cstdint>

#include "connection/connection_record.h"
#include "core/object_catalogue.h"

namespace ferry::agent {

inline constexpr size_t kDestinationAreaSize = 65536;

// Directory paths one after another, each NUL-terminated, and their number.
struct DestinationList {
  char paths[kDestinationAreaSize];
  int32_t count;
};
static_assert(offsetof(DestinationList, count) == 65536);

// The byte total of the files directly in each listed directory (subdirectories are neither
// entered nor counted); 0 for an empty list; -1 when a listing fails.
int64_t CalculateDirectorySize(ConnectionRecord* ci, const DestinationList* destinations);

// Size record of `objectName`. Returns 0.
int getOpIngresDbInfo(ConnectionRecord* ci, const char* objectName, ObjectSizeRecord* sizeRecord);

// Property sheet of `objectName` into `sheet` (`*size` bytes on entry). 0 with *size the
// reported size; 500 with *size the bytes the sheet needs (nothing written); or the system error
// of a failed logon or impersonation.
uint32_t getOpIngresDbOptions(ConnectionRecord* ci, const char* objectName, char* sheet,
                              uint32_t* size);

}  // namespace ferry::agent
