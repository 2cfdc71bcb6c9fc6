// Starting the program a shortcut points to, on a double-click of its entry.
#pragma once

#include "shortcuts.h"

namespace lookout {

// Starts the shortcut's target detached from the console, with the shortcut's arguments, in the
// shortcut's working directory, or in the target's own directory when the shortcut names none
// (or one that does not exist). Nothing is waited for; false (and a trace line) when the
// program could not be started.
bool launchShortcut(const ShortcutRecord& record);

}  // namespace lookout
