// The agent's kernel objects: the slot map and its mutex, the run locks, the restore events
// (named, machine-wide) and the log mutexes (unnamed). Each is made with a DACL that lets in
// SYSTEM, the Administrators and the host process's own account, and nobody else, and as that
// account (HostAccountScope), whatever account the calling thread acts as.
//
// A named object that exists already is used only when its owner is one of those three (or the
// process token's default owner): one that another account made first, to stand in for the
// agent's, is never used. That refusal is reported as kForeign, as is a name that exists with a
// DACL that keeps the agent out or as an object of another kind.
//
// Conventions: no exceptions; the handle is none unless the outcome is kCreated or kOpened.
#pragma once

#include <windows.h>

#include "unique_handle.h"

namespace ferry::agent {

enum class NamedObjectOutcome {
  kCreated,  // made now, with the agent's DACL
  kOpened,   // it existed, and belongs to an account the agent trusts
  kForeign,  // it exists and belongs to another account (or keeps the agent out): not used
  kFailed,   // the system refused; error says why
};

struct NamedObject {
  UniqueHandleNull handle;
  NamedObjectOutcome outcome = NamedObjectOutcome::kFailed;
  DWORD error = 0;  // the system error of kFailed and kForeign

  bool usable() const { return handle.valid(); }
  bool foreign() const { return outcome == NamedObjectOutcome::kForeign; }
};

// `name` null: an unnamed mutex (with the same DACL), which no one else can open by name.
NamedObject createAgentMutex(const char* name);
NamedObject createAgentSemaphore(const char* name, LONG initial, LONG maximum);
NamedObject createAgentEvent(const char* name, bool manualReset, bool initialState);
// A section backed by the paging file, `size` bytes read/write.
NamedObject createAgentMapping(const char* name, DWORD size);

// For a named object opened by other means (OpenFileMapping): true when its owner is an account
// the agent trusts, as above.
bool ownedByAgentAccounts(HANDLE object);

}  // namespace ferry::agent
