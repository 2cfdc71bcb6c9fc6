// SetAllPrivilege: enables the eighteen privileges the agent's work needs on the calling
// thread's token (the process token when the thread has none).
//
// Conventions: returns 1 when every privilege was enabled, else 0; each failure is formatted as
// "<failure text>-<system error>" into the shared error text buffer, so that the buffer holds the
// last one. Never fatal to callers; keeps no handle.
#pragma once

namespace ferry::agent {

int SetAllPrivilege();

}  // namespace ferry::agent
