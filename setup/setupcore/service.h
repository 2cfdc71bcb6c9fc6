// CService: one Windows service, by name, through the service control manager of the local or a
// remote machine.
//
// Conventions: results are Win32 error codes (ERROR_SUCCESS on success); every wait has a bound
// given by the caller; no exceptions.
#pragma once

#include <windows.h>

#include <string>

#include "unique_handle.h"

namespace ferry::setup {

// The agent's RPC service.
#if defined(_WIN64)
inline constexpr char kAgentServiceName[] = "DbaRpcService";
#else
// The x86 package installs beside the x64 one, each with a service of its own.
inline constexpr char kAgentServiceName[] = "DbaRpcService32";
#endif
inline constexpr char kAgentServiceDisplayName[] = "Backup Agent RPC Server";
inline constexpr char kAgentServiceProgram[] = "mooring.exe";

class CService {
 public:
  // `machine` empty: this machine.
  CService(std::string name, std::string machine = "");

  const std::string& name() const { return name_; }
  // SERVICE_RUNNING, SERVICE_STOPPED, ...; 0 with *error set when the state cannot be read
  // (ERROR_SERVICE_DOES_NOT_EXIST when there is no such service).
  DWORD state(DWORD* error) const;
  bool exists() const;
  // Starts the service and waits until it runs (at most timeoutMs). A running service is
  // success.
  DWORD start(DWORD timeoutMs) const;
  // Asks the service to stop and waits until it has (at most timeoutMs). A stopped or missing
  // service is success.
  DWORD stop(DWORD timeoutMs) const;
  // Own-process service running `program` (quoted here) as LocalSystem, automatic start.
  DWORD create(const std::string& program, const std::string& displayName) const;
  // Stops it (bounded) and deletes it; a missing service is success.
  DWORD remove(DWORD timeoutMs) const;
  DWORD setDisplay(const std::string& displayName, const std::string& description) const;

 private:
  DWORD openManager(DWORD access, UniqueService* manager) const;
  DWORD openService(DWORD access, UniqueService* service) const;
  // Waits until the service leaves `pending` or timeoutMs ends; the last state in *state.
  static DWORD waitWhile(SC_HANDLE service, DWORD pending, DWORD timeoutMs, DWORD* state);

  std::string name_;
  std::string machine_;
};

}  // namespace ferry::setup
