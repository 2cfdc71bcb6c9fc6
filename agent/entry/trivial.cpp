// The entry points the backup server may call but the agent has no use for. Neither body looks
// at its arguments: the six "not supported" ones share one body, the four accepted ones another.
#define FERRYMAN_BUILD
#include "ferryman.h"

extern "C" {

DSA_RESULT DSAOpen(uint32_t, void*) { return DSA_ERROR_NOT_SUPPORTED; }
DSA_RESULT DSAControl(uint32_t, void*) { return DSA_OK; }

}  // extern "C"

// The entry point types that callers bind with are the entry points' own.
#include <type_traits>
static_assert(std::is_same_v<PFN_DSAConnectAgent, decltype(&DSAConnectAgent)>);
static_assert(std::is_same_v<PFN_DSADisconnectAgent, decltype(&DSADisconnectAgent)>);
static_assert(std::is_same_v<PFN_DSAGetError, decltype(&DSAGetError)>);
static_assert(std::is_same_v<PFN_DSATrivial, decltype(&DSAOpen)>);
static_assert(std::is_same_v<PFN_DSATrivial, decltype(&DSAGetCanonicalPath)>);
static_assert(std::is_same_v<PFN_DSAGetAgentInfo, decltype(&DSAGetAgentInfo)>);
static_assert(std::is_same_v<PFN_DSAEnumObjects, decltype(&DSAEnumObjects)>);
static_assert(std::is_same_v<PFN_DSAGetExcludedFiles, decltype(&DSAGetExcludedFiles)>);
static_assert(std::is_same_v<PFN_DSABeginBackup, decltype(&DSABeginBackup)>);
static_assert(std::is_same_v<PFN_DSARead, decltype(&DSARead)>);
static_assert(std::is_same_v<PFN_DSAEndBackup, decltype(&DSAEndBackup)>);
static_assert(std::is_same_v<PFN_DSABeginRestore, decltype(&DSABeginRestore)>);
static_assert(std::is_same_v<PFN_DSAWrite, decltype(&DSAWrite)>);
static_assert(std::is_same_v<PFN_DSAEndRestore, decltype(&DSAEndRestore)>);
static_assert(std::is_same_v<PFN_DSASetRestorePointInTime, decltype(&DSASetRestorePointInTime)>);
