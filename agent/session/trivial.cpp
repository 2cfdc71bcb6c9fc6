// The entry points the backup server may call but the agent has no use for. Neither body looks
// at its arguments: the six "not supported" ones share one body, the four accepted ones another.
#define FERRYMAN_BUILD
#include "ferryman.h"

extern "C" {

DSA_RESULT DSAOpen(uint32_t, void*) { return DSA_ERROR_NOT_SUPPORTED; }
DSA_RESULT DSAControl(uint32_t, void*) { return DSA_OK; }

}  // extern "C"
