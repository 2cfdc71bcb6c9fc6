// DSAGetError: the text of a result code. Agent codes (up to 10000) are string resources of
// ferryres.dll whose id is the code; codes above 10000 carry a system error plus 10000 and take
// the system's message text.
#define FERRYMAN_BUILD
#include "ferryman.h"

#include <windows.h>

#include <cstring>

#include "connection/connection_table.h"
#include "core/message_ids.h"
#include "library/agent_state.h"
#include "logs/activity_log.h"
#include "logs/trace.h"

namespace {

constexpr DWORD kSystemTextSize = 1300;
constexpr int kAgentTextSize = 256;

}  // namespace

extern "C" DSA_RESULT DSAGetError(uint32_t connectionId, uint32_t errorCode, char* buffer,
                                  uint32_t* length) {
  using namespace ferry::agent;
  using namespace ferry::messages;
  AgentLockGuard lock;
  // An id that is not in use is allowed: the call then traces nothing.
  ConnectionRecord* ci = findConnection(static_cast<int>(connectionId));
  traceStartBanner(ci, "DSAGetError");
  trace(ci, "DSAGetError(): errCode=%d", static_cast<int>(errorCode));
  if (buffer == nullptr) return DSA_OK;

  if (errorCode > DSA_SYSTEM_ERROR_BASE) {
    DWORD systemError = errorCode - DSA_SYSTEM_ERROR_BASE;
    DWORD n = FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
        /*source=*/nullptr, systemError, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer,
        kSystemTextSize, /*arguments=*/nullptr);
    if (n == 0) buffer[0] = '\0';
    // The maximum-width mode leaves a trailing blank where the line break was.
    while (n > 0 && buffer[n - 1] == ' ') buffer[--n] = '\0';
    Log_act(ci, kActivitySystemErrorText, systemError, buffer);
    trace(ci, "DSAGetError(): system error(%d) : %s", static_cast<int>(systemError), buffer);
    if (length != nullptr) *length = n;
    return DSA_OK;
  }

  Log_act(ci, kActivityErrorTextRequested, errorCode);
  Log_act(ci, kActivityErrorTextLookup);
  int n = loadMessageText(textIdOfResult(errorCode), buffer, kAgentTextSize);
  Log_act(ci, kActivityErrorText, buffer);
  if (length != nullptr) *length = static_cast<uint32_t>(n);
  traceEndBanner(ci, "DSAGetError");
  return DSA_OK;
}
