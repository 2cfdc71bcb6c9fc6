#include "library/wait_limits.h"

namespace ferry::agent {
namespace {

WaitLimits g_waitLimits;

}  // namespace

const WaitLimits& waitLimits() { return g_waitLimits; }

void setWaitLimits(const WaitLimits& limits) { g_waitLimits = limits; }

}  // namespace ferry::agent
