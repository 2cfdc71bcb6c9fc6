// DSAConnectAgent: logs the backup server's account on, takes a connection id and proves that
// the account reaches the installation's master database "iidbdb".
#define FERRYMAN_BUILD
#include "ferryman.h"

#include <windows.h>
// After windows.h, which it needs.
#include <lm.h>

#include <algorithm>
#include <cstring>

#include "account/account_layer.h"
#include "account/privileges.h"
#include "catalog_binding/catalog_session.h"
#include "connection/connection_table.h"
#include "core/ingres_names.h"
#include "core/line_format.h"
#include "core/message_ids.h"
#include "core/settings_key.h"
#include "library/agent_state.h"
#include "logs/activity_log.h"
#include "logs/settings.h"
#include "logs/trace.h"
#include "registry_view.h"
#include "unique_handle.h"

namespace ferry::agent {
namespace {

using namespace ferry::messages;

constexpr DWORD kUserNameSize = 257;

// Copies `text` into a fixed field; false when it does not fit with its NUL.
template <size_t N>
bool copyField(char (&field)[N], const char* text, size_t length) {
  if (length >= N) return false;
  std::memcpy(field, text, length);
  field[length] = '\0';
  return true;
}

// The workstation's LAN group (workgroup or domain), for a bare user name that is not the
// account the server itself runs as.
void workstationGroup(char (&domain)[64]) {
  domain[0] = '\0';
  WKSTA_INFO_100* info = nullptr;
  if (NetWkstaGetInfo(nullptr, 100, reinterpret_cast<BYTE**>(&info)) != NERR_Success) return;
  if (info != nullptr && info->wki100_langroup != nullptr) {
    int n = WideCharToMultiByte(CP_ACP, 0, info->wki100_langroup, -1, domain, sizeof domain,
                                /*defaultChar=*/nullptr, /*usedDefault=*/nullptr);
    if (n == 0) domain[0] = '\0';  // longer than the field: no domain rather than a cut one
  }
  NetApiBufferFree(info);
}

struct AccountName {
  char user[256] = "";
  char domain[64] = "";
};

// "domain\user" or "user". False when a part does not fit its field.
bool splitAccountName(const char* accountName, const char* currentUser, AccountName* account) {
  if (const char* slash = std::strchr(accountName, '\\')) {
    return copyField(account->domain, accountName, static_cast<size_t>(slash - accountName)) &&
           copyField(account->user, slash + 1, std::strlen(slash + 1));
  }
  if (!copyField(account->user, accountName, std::strlen(accountName))) return false;
  if (_stricmp(account->user, currentUser) != 0) workstationGroup(account->domain);
  return true;
}

void traceRevertFailure(ConnectionRecord* ci, DWORD error) {
  formatMessage(sharedErrorText(), kSharedErrorTextSize,
                "DSAConnectAgent(): RevertToSelf Failed error = %d", static_cast<int>(error));
  trace(ci, "%s", sharedErrorText());
}

// Logs the account on, locally and then in its domain, and acts as it on this thread: 0 with
// the logon token in *token, or 85.
DSA_RESULT logOnAndImpersonate(const AccountName& account, const char* password,
                               UniqueHandleNull* token) {
  AccountLayer& accounts = accountLayer();
  if (accounts.logOn(account.user, ".", password, token->put()) != 0 &&
      accounts.logOn(account.user, account.domain, password, token->put()) != 0) {
    Log_act(nullptr, messages::kActivityLogonFailed);
    return DSA_ERROR_LOGON;
  }
  if (accounts.impersonate(token->get()) != 0) {
    Log_act(nullptr, messages::kActivityLogonFailed);
    return DSA_ERROR_LOGON;
  }
  return 0;
}

// Fills the record of the new connection `id` (the account, its token, the installation code
// taken from the argument itself, not from the record's shorter copy of the instance name) and
// proves that the account reaches the installation's "iidbdb": false when it does not.
bool openConnection(ConnectionRecord* ci, int id, const char* instanceName,
                    const AccountName& account, const char* password, UniqueHandleNull token) {
  copyField(ci->instanceName, instanceName, strnlen(instanceName, sizeof ci->instanceName - 1));
  copyField(ci->connInfo.loginName, account.user, std::strlen(account.user));
  copyField(ci->connInfo.password, password, std::strlen(password));
  copyField(ci->connInfo.domainName, account.domain, std::strlen(account.domain));
  ci->restore.restoreLocationDirectory[0] = '\0';
  ci->account.hAccessToken.reset(token.release());
  const char* at = std::strchr(instanceName, '@');
  if (at == nullptr || !copyField(ci->installation.installationCode, at + 1, std::strlen(at + 1))) {
    return false;
  }
  // Every name built from the code (keys, pipes, the run lock, the template, trace tags) takes
  // Ingres' spelling, whatever case the server wrote it in.
  spellInstallationCode(ci->installation.installationCode);
  // The session block starts with the code's first bytes; a bounded copy keeps the back
  // reference behind them intact.
  std::memcpy(ci->connInfo.installationCodeHead, ci->installation.installationCode,
              std::min(sizeof ci->connInfo.installationCodeHead,
                       std::strlen(ci->installation.installationCode) + 1));
  ci->connInfo.record = ci;
  ci->traceOn = 1;
  ci->connectionId = id;
  trace(ci, "*************** DSAConnectAgent() Starts Here ***************");
  trace(ci, "DSAConnectAgent() : user name is %s", ci->connInfo.loginName);
  trace(ci, "DSAConnectAgent() : domain name is %s", ci->connInfo.domainName);
  trace(ci, "DSAConnectAgent() : agent key HKEY_LOCAL_MACHINE\\%s in the %s registry view",
        agentSettingsKey(registryRoot(), "agent", "").c_str(), registryViewName());
  return connectOpIngresDatabase2(&ci->connInfo, "iidbdb") == 0;
}

}  // namespace
}  // namespace ferry::agent

extern "C" DSA_RESULT DSAConnectAgent(uint32_t /*reserved*/, const char* instanceName,
                                      const char* accountName, const char* password,
                                      uint32_t* connectionId) {
  using namespace ferry::agent;
  using namespace ferry::messages;
  if (connectionId != nullptr) *connectionId = 0;
  if (instanceName == nullptr || accountName == nullptr || password == nullptr ||
      connectionId == nullptr) {
    return DSA_ERROR_ARGUMENT_MISSING;
  }
  // The installation code names registry keys, pipes and files: Ingres' rule first.
  if (const char* at = std::strchr(instanceName, '@');
      at != nullptr && !isInstallationCode(at + 1)) {
    return DSA_ERROR_INSTANCE;
  }
  AgentLockGuard lock;

  if (SetAllPrivilege() == 0) Log_act(nullptr, kActivityPrivilegesNotEnabled, 0);
  char currentUser[kUserNameSize] = "";
  DWORD size = sizeof currentUser;
  if (accountLayer().currentUserName(currentUser, &size) != 0) {
    currentUser[0] = '\0';
    Log_act(nullptr, kActivityUserNameUnreadable, 0);
  }

  // Fields that cannot hold the account's names or password would make every later logon of
  // the connection fail with a cut name: refuse them now, as a logon failure.
  AccountName account;
  OIConnInfo fieldSizes{};
  if (!splitAccountName(accountName, currentUser, &account) ||
      std::strlen(account.user) >= sizeof fieldSizes.loginName ||
      std::strlen(password) >= sizeof fieldSizes.password) {
    Log_act(nullptr, kActivityLogonFailed);
    return DSA_ERROR_LOGON;
  }

  ferry::UniqueHandleNull token;
  if (DSA_RESULT refused = logOnAndImpersonate(account, password, &token); refused != 0) {
    return refused;
  }
  // Every way out of the call acts as the host's own account again.
  ferry::RevertOnExit revert([] { return accountLayer().revertToSelf(); });
  size = sizeof currentUser;
  if (accountLayer().currentUserName(currentUser, &size) != 0) {
    Log_act(nullptr, kActivityUserNameUnreadable, 0);
  }

  const char* foreignObject = nullptr;
  const int id = allocateConnection(&foreignObject);
  if (id == 0 && foreignObject != nullptr) {
    Log_act(nullptr, kActivityForeignObject, foreignObject);
    return DSA_ERROR_FOREIGN_OBJECT;
  }
  if (id == 0) return DSA_ERROR_NO_FREE_CONNECTION;
  ConnectionRecord* ci = findConnection(id);
  if (!openConnection(ci, id, instanceName, account, password, std::move(token))) {
    // Releasing the id closes the record's token with it.
    releaseConnection(id);
    return DSA_ERROR_INSTANCE;
  }

  disconnectOpIngres2(&ci->connInfo);
  trace(ci, "DSAConnectAgent(): Function ending, returning 0");
  if (DWORD error = revert.revertNow(); error != 0) traceRevertFailure(ci, error);
  traceEndBanner(ci, "DSAConnectAgent");
  Log_act(ci, kActivityConnectSucceeded);
  *connectionId = static_cast<uint32_t>(id);
  return DSA_OK;
}
