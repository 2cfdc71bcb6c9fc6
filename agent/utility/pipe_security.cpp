#include "utility/pipe_security.h"

#include <aclapi.h>
#include <sddl.h>

#include "unique_handle.h"

namespace ferry::agent {
namespace {

std::vector<BYTE> wellKnownSid(WELL_KNOWN_SID_TYPE type, DWORD* error) {
  std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
  DWORD size = static_cast<DWORD>(sid.size());
  if (!CreateWellKnownSid(type, /*domainSid=*/nullptr, sid.data(), &size)) {
    *error = GetLastError();
    return {};
  }
  sid.resize(size);
  return sid;
}

std::vector<BYTE> accountSid(const std::string& account, DWORD* error) {
  DWORD sidSize = 0;
  DWORD domainSize = 0;
  SID_NAME_USE use{};
  LookupAccountNameA(/*system=*/nullptr, account.c_str(), nullptr, &sidSize, nullptr, &domainSize,
                     &use);
  if (sidSize == 0) {
    *error = GetLastError();
    return {};
  }
  std::vector<BYTE> sid(sidSize);
  std::string domain(domainSize + 1, '\0');
  if (!LookupAccountNameA(nullptr, account.c_str(), sid.data(), &sidSize, domain.data(),
                          &domainSize, &use)) {
    *error = GetLastError();
    return {};
  }
  return sid;
}

}  // namespace

std::vector<BYTE> tokenUserSid(HANDLE token, DWORD* error) {
  UniqueHandleNull own;
  if (token == nullptr || token == INVALID_HANDLE_VALUE) {
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, /*openAsSelf=*/TRUE, own.put()) &&
        !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, own.put())) {
      *error = GetLastError();
      return {};
    }
    token = own.get();
  }
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  if (size == 0) {
    *error = GetLastError();
    return {};
  }
  std::vector<BYTE> buffer(size);
  if (!GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
    *error = GetLastError();
    return {};
  }
  PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
  const DWORD length = GetLengthSid(sid);
  std::vector<BYTE> copy(length);
  if (!CopySid(length, copy.data(), sid)) {
    *error = GetLastError();
    return {};
  }
  return copy;
}

bool PipeSecurity::prepare(ConnectionRecord* ci, const std::vector<std::string>& extraAccounts,
                           DWORD* error, std::vector<std::string>* unresolved) {
  *error = 0;
  std::vector<std::vector<BYTE>> sids;
  sids.push_back(wellKnownSid(WinLocalSystemSid, error));
  sids.push_back(wellKnownSid(WinBuiltinAdministratorsSid, error));
  sids.push_back(tokenUserSid(ci->account.hAccessToken.get(), error));
  for (const std::string& account : extraAccounts) {
    DWORD lookupError = 0;
    std::vector<BYTE> sid = accountSid(account, &lookupError);
    if (sid.empty() && unresolved != nullptr) {
      // An account that no longer exists lets no one in; the others still may.
      unresolved->push_back(account);
      continue;
    }
    if (sid.empty()) *error = lookupError;
    sids.push_back(std::move(sid));
  }
  for (const std::vector<BYTE>& sid : sids) {
    if (sid.empty()) {
      if (*error == 0) *error = ERROR_INVALID_SID;
      return false;
    }
  }
  std::vector<EXPLICIT_ACCESSA> entries(sids.size());
  for (size_t i = 0; i < sids.size(); ++i) {
    EXPLICIT_ACCESSA& entry = entries[i];
    entry = {};
    entry.grfAccessPermissions = GENERIC_READ | GENERIC_WRITE | SYNCHRONIZE;
    entry.grfAccessMode = SET_ACCESS;
    entry.grfInheritance = NO_INHERITANCE;
    entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entry.Trustee.TrusteeType = TRUSTEE_IS_UNKNOWN;
    entry.Trustee.ptstrName = reinterpret_cast<LPSTR>(sids[i].data());
  }
  const DWORD set = SetEntriesInAclA(static_cast<ULONG>(entries.size()), entries.data(),
                                     /*oldAcl=*/nullptr, dacl_.put());
  if (set != ERROR_SUCCESS) {
    *error = set;
    return false;
  }
  if (!InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&descriptor_, /*daclPresent=*/TRUE, dacl_.get(),
                                 /*defaulted=*/FALSE)) {
    *error = GetLastError();
    return false;
  }
  attributes_.nLength = sizeof attributes_;
  attributes_.lpSecurityDescriptor = &descriptor_;
  // The pipe's server end stays the agent's: a child that inherited it would keep the pipe
  // alive after the agent closed it, and could read what the run sends.
  attributes_.bInheritHandle = FALSE;
  return true;
}

}  // namespace ferry::agent
