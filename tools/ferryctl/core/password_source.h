// Where the console takes the account's password from, so that it never stands on a command
// line that other users of the machine can read: the file named by --password-file, else the
// environment variable FERRYCTL_PASSWORD, else a prompt on the console without echo (or one
// line of standard input when that is no console).
//
// Conventions: platform-free; no exceptions; nothing here prints or keeps the password.
#pragma once

#include <string>
#include <string_view>

namespace ferry::ctl {

inline constexpr char kPasswordVariable[] = "FERRYCTL_PASSWORD";

// The password a password file or a typed line holds: the text up to the first line end (LF,
// or CR LF), or all of it without one.
std::string passwordFromText(std::string_view text);

}  // namespace ferry::ctl
