#include "account/act_as_account.h"

#include "account/account_layer.h"
#include "account/privileges.h"
#include "logs/trace.h"
#include "unique_handle.h"

namespace ferry::agent {

DWORD actAsConnectionAccount(ConnectionRecord* ci, const ActAsAccountTexts& texts) {
  AccountLayer& accounts = accountLayer();
  const char* routine = texts.routine;
  OIConnInfo& info = ci->connInfo;

  char userName[81] = {};
  DWORD size = sizeof userName;
  // An unreadable name never equals the account's, so the logon below decides.
  if (accounts.currentUserName(userName, &size) != ERROR_SUCCESS) userName[0] = '\0';
  trace(ci, "%s(): CurrentUserName= %s", routine, userName);
  if (texts.skipWhenAlreadyAccount && lstrcmpiA(userName, info.loginName) == 0) {
    return ERROR_SUCCESS;
  }

  UniqueHandleNull localToken;
  UniqueHandleNull domainToken;
  HANDLE impersonationToken = nullptr;
  DWORD error = accounts.logOn(info.loginName, ".", info.password, localToken.put());
  if (error == ERROR_SUCCESS) {
    trace(ci, "%s(): LogonUser() successful as userName[%s]", routine, info.loginName);
    // Replaces (and closes) a token of an earlier logon.
    ci->account.hAccessToken.reset(localToken.release());
    impersonationToken = ci->account.hAccessToken.get();
  } else {
    trace(ci, "%s(): %s",
          texts.localLogonFailedRoutine != nullptr ? texts.localLogonFailedRoutine : routine,
          texts.localLogonFailed);
    error = accounts.logOn(info.loginName, info.domainName, info.password, domainToken.put());
    if (error != ERROR_SUCCESS) {
      trace(ci, "%s(): Error: LogonUser() failed with loginName[%s] errcode[%d]", routine,
            info.loginName, static_cast<int>(error));
      return error;
    }
    impersonationToken = domainToken.get();
  }

  error = accounts.impersonate(impersonationToken);
  if (error != ERROR_SUCCESS) {
    trace(ci, "%s(): Error: ImpersonateLoggedOnUser() failed with error code[%d]", routine,
          static_cast<int>(error));
    return error;
  }
  trace(ci, "%s(): ImpersonateLoggedOnUser() successful", routine);

  if (SetAllPrivilege()) {
    trace(ci, "%s(): SetAllPrivilege() successful", routine);
  } else {
    trace(ci, "%s(): SetAllPrivilege() return error code[%d]", routine, 0);
  }
  return ERROR_SUCCESS;
}

}  // namespace ferry::agent
