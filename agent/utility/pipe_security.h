// The security of the pipes the agent serves: a DACL that lets in SYSTEM, the Administrators and
// the connection's account (and, for the remote pipe, the accounts an agent setting names), and
// handles that are never inherited. No one else may open a pipe that carries backup data or
// file names the agent acts on.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "connection/connection_record.h"

namespace ferry::agent {

class PipeSecurity {
 public:
  PipeSecurity() = default;
  PipeSecurity(const PipeSecurity&) = delete;
  PipeSecurity& operator=(const PipeSecurity&) = delete;

  // Builds the descriptor for `ci`'s account (the user of its logon token, or of the agent's own
  // token when it has none) and the accounts named in `extraAccounts`. False (with the system
  // error in *error) when a SID or the DACL cannot be made. With `unresolved`, an extra account
  // whose name does not resolve is left out and listed there instead.
  bool prepare(ConnectionRecord* ci, const std::vector<std::string>& extraAccounts, DWORD* error,
               std::vector<std::string>* unresolved = nullptr);

  SECURITY_ATTRIBUTES* attributes() { return &attributes_; }

 private:
  UniqueLocalMemory<ACL> dacl_;  // SetEntriesInAcl allocates it
  SECURITY_DESCRIPTOR descriptor_ = {};
  SECURITY_ATTRIBUTES attributes_ = {};
};

// The user SID of `token` (the process token when `token` is null); empty on failure, with the
// system error in *error.
std::vector<BYTE> tokenUserSid(HANDLE token, DWORD* error);

}  // namespace ferry::agent
