// EmptyTaskEnum: the task enumeration of a taskpad that has no tasks.
#pragma once

#include <mmc.h>

namespace lookout {

HRESULT createEmptyTaskEnum(IEnumTASK** out);

}  // namespace lookout
