// Files the agent writes under names anyone can predict (a utility's output files in the agent
// folder, the ".restoring" copy beside a restored file, the end marker of a data restore). Such
// a name is opened as CREATE_ALWAYS would, but never through something another account placed
// there first: a symbolic link or other reparse point, or a hard link to a file elsewhere, is
// refused and left as it is, nothing written through it.
//
// Conventions: no exceptions; the system error is kept in GetLastError() on failure.
#pragma once

#include <windows.h>

#include "unique_handle.h"

namespace ferry::agent {

enum class FixedNameOutcome {
  kOpened,   // a new file, or the plain file of that name emptied
  kRefused,  // the name is a link or reparse point, or its file has a second name
  kFailed,   // the system refused; GetLastError() says why
};

// `access`, `share` and `flags` as for CreateFileA (FILE_FLAG_OPEN_REPARSE_POINT is added).
UniqueFile openFixedNameFile(const char* path, DWORD access, DWORD share, DWORD flags,
                             FixedNameOutcome* outcome);

}  // namespace ferry::agent
