// The account's password for a command that connects, from the sources password_source.h
// names, in that order.
#pragma once

#include <string>

#include "core/command_line.h"

namespace ferry::ctl {

// Fills *password, or returns false with a message (that never shows the password) when no
// source gives one. The environment variable is removed from the console's environment once
// read, so that the Ingres utilities the agent starts do not inherit it.
bool obtainPassword(const Command& command, std::string* password, std::string* error);

}  // namespace ferry::ctl
