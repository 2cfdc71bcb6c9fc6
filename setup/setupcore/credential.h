// The setup's credential routine: the agent account is enciphered with the Data Protection API
// in machine scope, so that whichever account runs the agent's service on this machine can
// decipher it, and nobody can on another machine. The account ("Es") carries the product's own
// entropy as well (kAccountEntropy); the texts of a silent profile ("enc:") do not, as an
// administrator enciphers them with the plain machine-scope call.
//
// Conventions: results are Win32 error codes; out-parameters are written only on success;
// plain texts are wiped from the routine's own buffers before they are freed.
#pragma once

#include <windows.h>

#include <string>

namespace ferry::setup {

// ERROR_INSUFFICIENT_BUFFER when the enciphered form would exceed 1560 bytes.
DWORD encipherText(const std::string& plain, std::string* blob);
DWORD decipherText(const std::string& blob, std::string* plain);

// The account text (name, a zero byte, password) enciphered with the product's entropy;
// ERROR_INVALID_PARAMETER for an empty name or a name or password longer than 256 characters.
DWORD encipherAccount(const std::string& name, const std::string& password, std::string* blob);
// Deciphered with the product's entropy, else without it (an earlier agent's "Es"); *legacy
// (when given) is set when only the second worked. ERROR_INVALID_DATA when the deciphered text
// is not an account text.
DWORD decipherAccount(const std::string& blob, std::string* name, std::string* password,
                      bool* legacy = nullptr);

}  // namespace ferry::setup
