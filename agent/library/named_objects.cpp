#include "library/named_objects.h"

#include <aclapi.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "library/host_account.h"

namespace ferry::agent {
namespace {

using Sid = std::vector<BYTE>;

// The accounts the agent's objects let in, and the descriptor that says so; read once, as the
// host process.
struct AgentAccounts {
  DWORD error = ERROR_SUCCESS;  // not ERROR_SUCCESS: none could be read, nothing is made
  Sid user;                     // the host process's account
  Sid defaultOwner;             // the owner the system gives what the process makes
  Sid system;
  Sid administrators;
  UniqueLocalMemory<void> descriptor;
};

Sid tokenSid(HANDLE token, TOKEN_INFORMATION_CLASS kind) {
  DWORD size = 0;
  GetTokenInformation(token, kind, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  if (size == 0 || !GetTokenInformation(token, kind, buffer.data(), size, &size)) return {};
  PSID sid = kind == TokenUser ? reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid
                               : reinterpret_cast<TOKEN_OWNER*>(buffer.data())->Owner;
  const BYTE* bytes = static_cast<const BYTE*>(sid);
  return Sid(bytes, bytes + GetLengthSid(sid));
}

Sid wellKnownSid(WELL_KNOWN_SID_TYPE type) {
  Sid sid(SECURITY_MAX_SID_SIZE);
  DWORD size = static_cast<DWORD>(sid.size());
  if (!CreateWellKnownSid(type, /*domain=*/nullptr, sid.data(), &size)) return {};
  sid.resize(size);
  return sid;
}

void readAgentAccounts(AgentAccounts* accounts) {
  HostAccountScope host;
  UniqueHandleNull token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) {
    accounts->error = GetLastError();
    return;
  }
  accounts->user = tokenSid(token.get(), TokenUser);
  accounts->defaultOwner = tokenSid(token.get(), TokenOwner);
  accounts->system = wellKnownSid(WinLocalSystemSid);
  accounts->administrators = wellKnownSid(WinBuiltinAdministratorsSid);
  UniqueLocalMemory<char> user;
  if (accounts->user.empty() || accounts->system.empty() || accounts->administrators.empty() ||
      !ConvertSidToStringSidA(accounts->user.data(), user.put())) {
    accounts->error = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_INVALID_SID;
    return;
  }
  // Protected: nothing of a default DACL is merged in.
  const std::string dacl = std::string("D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;") + user.get() + ")";
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(dacl.c_str(), SDDL_REVISION_1,
                                                            accounts->descriptor.put(),
                                                            /*size=*/nullptr)) {
    accounts->error = GetLastError();
  }
}

const AgentAccounts& agentAccounts() {
  static const AgentAccounts accounts = [] {
    AgentAccounts read;
    readAgentAccounts(&read);
    return read;
  }();
  return accounts;
}

bool trustedOwner(const AgentAccounts& accounts, HANDLE object) {
  PSID owner = nullptr;
  UniqueLocalMemory<void> descriptor;
  if (GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                      /*group=*/nullptr, /*dacl=*/nullptr, /*sacl=*/nullptr,
                      descriptor.put()) != ERROR_SUCCESS) {
    return false;
  }
  // Windows gives every object an owner; Wine keeps none for an object made without a security
  // descriptor (by a test, say).
  if (owner == nullptr) return true;
  for (const Sid* sid :
       {&accounts.user, &accounts.defaultOwner, &accounts.system, &accounts.administrators}) {
    if (!sid->empty() && EqualSid(owner, const_cast<BYTE*>(sid->data()))) return true;
  }
  return false;
}

template <typename Make>
NamedObject createAgentObject(const char* name, Make make) {
  NamedObject object;
  const AgentAccounts& accounts = agentAccounts();
  if (accounts.error != ERROR_SUCCESS) {
    object.error = accounts.error;
    return object;
  }
  HostAccountScope host;
  SECURITY_ATTRIBUTES security = {sizeof security, accounts.descriptor.get(), /*inherit=*/FALSE};
  SetLastError(ERROR_SUCCESS);
  UniqueHandleNull handle(make(&security));
  const DWORD error = GetLastError();
  if (!handle) {
    object.error = error;
    // The name exists with a DACL that keeps the agent out, or as an object of another kind.
    const bool taken = error == ERROR_ACCESS_DENIED || error == ERROR_INVALID_HANDLE;
    object.outcome =
        name != nullptr && taken ? NamedObjectOutcome::kForeign : NamedObjectOutcome::kFailed;
    return object;
  }
  if (name == nullptr || error != ERROR_ALREADY_EXISTS) {
    object.handle = std::move(handle);
    object.outcome = NamedObjectOutcome::kCreated;
    return object;
  }
  if (!trustedOwner(accounts, handle.get())) {
    object.error = ERROR_ALREADY_EXISTS;
    object.outcome = NamedObjectOutcome::kForeign;
    return object;
  }
  object.handle = std::move(handle);
  object.outcome = NamedObjectOutcome::kOpened;
  return object;
}

}  // namespace

NamedObject createAgentMutex(const char* name) {
  return createAgentObject(name, [name](SECURITY_ATTRIBUTES* security) {
    return CreateMutexA(security, /*initialOwner=*/FALSE, name);
  });
}

NamedObject createAgentSemaphore(const char* name, LONG initial, LONG maximum) {
  return createAgentObject(name, [=](SECURITY_ATTRIBUTES* security) {
    return CreateSemaphoreA(security, initial, maximum, name);
  });
}

NamedObject createAgentEvent(const char* name, bool manualReset, bool initialState) {
  return createAgentObject(name, [=](SECURITY_ATTRIBUTES* security) {
    return CreateEventA(security, manualReset, initialState, name);
  });
}

NamedObject createAgentMapping(const char* name, DWORD size) {
  return createAgentObject(name, [=](SECURITY_ATTRIBUTES* security) {
    return CreateFileMappingA(INVALID_HANDLE_VALUE, security, PAGE_READWRITE, /*sizeHigh=*/0, size,
                              name);
  });
}

bool ownedByAgentAccounts(HANDLE object) {
  const AgentAccounts& accounts = agentAccounts();
  return accounts.error == ERROR_SUCCESS && trustedOwner(accounts, object);
}

}  // namespace ferry::agent
