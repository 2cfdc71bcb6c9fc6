// The testbed's account layer: accounts come from the simulated account directory that ingsim
// fills (HKLM\SOFTWARE\Norvane\IngresSim\Accounts\<name>, REG_SZ "Password" and "Domain"), because
// the logon of the test machine's Wine accepts any name and password and its token cannot be
// impersonated. A right name and password give a real duplicate of the process token, so
// impersonation and process creation run for real; a wrong one gives ERROR_LOGON_FAILURE.
// The thread's current user name follows the impersonated account.
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "account/account_layer.h"
#include "core/line_format.h"
#include "unique_handle.h"

namespace ferry::agent {
namespace {

constexpr char kAccountsKey[] = "SOFTWARE\\Norvane\\IngresSim\\Accounts\\";
constexpr size_t kMaxUserName = 256;

struct SimulatedAccount {
  std::string password;
  std::string domain;
};

bool readString(HKEY key, const char* name, std::string* value) {
  char buffer[512] = {};
  DWORD size = sizeof buffer - 1;
  DWORD type = 0;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ) {
    return false;
  }
  value->assign(buffer);
  return true;
}

bool findAccount(const char* user, SimulatedAccount* account) {
  if (user == nullptr || user[0] == '\0' || std::strpbrk(user, "\\/") != nullptr) return false;
  UniqueKey key;
  std::string keyName = std::string(kAccountsKey) + user;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
    return false;
  }
  return readString(key.get(), "Password", &account->password) &&
         readString(key.get(), "Domain", &account->domain);
}

bool isLocalDomain(const char* domain) {
  if (domain == nullptr || domain[0] == '\0' || std::strcmp(domain, ".") == 0) return true;
  char computer[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = sizeof computer;
  return GetComputerNameA(computer, &size) && lstrcmpiA(computer, domain) == 0;
}

// A local account logs on only at the local machine, a domain account only in its domain.
bool domainMatches(const SimulatedAccount& account, const char* domain) {
  if (account.domain.empty()) return isLocalDomain(domain);
  return domain != nullptr && lstrcmpiA(account.domain.c_str(), domain) == 0;
}

class SimulatedAccountLayer final : public AccountLayer {
 public:
  DWORD logOn(const char* user, const char* domain, const char* password, HANDLE* token) override {
    *token = nullptr;
    SimulatedAccount account;
    if (!findAccount(user, &account) || !domainMatches(account, domain) ||
        account.password != (password ? password : "")) {
      return ERROR_LOGON_FAILURE;
    }
    UniqueHandleNull self;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, self.put())) {
      return GetLastError();
    }
    HANDLE duplicate = nullptr;
    if (!DuplicateTokenEx(self.get(), TOKEN_ALL_ACCESS, /*security=*/nullptr, SecurityImpersonation,
                          TokenPrimary, &duplicate)) {
      return GetLastError();
    }
    {
      std::lock_guard<std::mutex> guard(mutex_);
      // A handle value is reused only after its token was closed, so the newest logon wins.
      names_[duplicate] = user;
    }
    *token = duplicate;
    return ERROR_SUCCESS;
  }

  DWORD impersonate(HANDLE token) override {
    std::string name;
    {
      std::lock_guard<std::mutex> guard(mutex_);
      auto it = names_.find(token);
      if (it != names_.end()) name = it->second;
    }
    if (!ImpersonateLoggedOnUser(token)) return GetLastError();
    formatMessage(threadUser_, sizeof threadUser_, "%s", name.c_str());
    return ERROR_SUCCESS;
  }

  DWORD revertToSelf() override {
    if (!RevertToSelf()) return GetLastError();
    threadUser_[0] = '\0';
    return ERROR_SUCCESS;
  }

  DWORD currentUserName(char* buffer, DWORD* size) override {
    if (threadUser_[0] == '\0') return GetUserNameA(buffer, size) ? ERROR_SUCCESS : GetLastError();
    DWORD needed = static_cast<DWORD>(std::strlen(threadUser_) + 1);
    if (buffer == nullptr || *size < needed) {
      *size = needed;
      return ERROR_INSUFFICIENT_BUFFER;
    }
    std::memcpy(buffer, threadUser_, needed);
    *size = needed;
    return ERROR_SUCCESS;
  }

  DWORD createProcessAsUser(HANDLE token, char* commandLine, BOOL inheritHandles,
                            DWORD creationFlags, STARTUPINFOA* startup,
                            PROCESS_INFORMATION* process) override {
    BOOL ok = CreateProcessAsUserA(token, /*application=*/nullptr, commandLine,
                                   /*processSecurity=*/nullptr, /*threadSecurity=*/nullptr,
                                   inheritHandles, creationFlags, /*environment=*/nullptr,
                                   /*currentDirectory=*/nullptr, startup, process);
    return ok ? ERROR_SUCCESS : GetLastError();
  }

 private:
  std::mutex mutex_;
  std::map<HANDLE, std::string> names_;
  static thread_local char threadUser_[kMaxUserName + 1];
};

thread_local char SimulatedAccountLayer::threadUser_[kMaxUserName + 1];

}  // namespace

AccountLayer& accountLayer() {
  static SimulatedAccountLayer layer;
  return layer;
}

}  // namespace ferry::agent
