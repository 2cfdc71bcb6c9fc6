// The connection's Ingres session: connect with the owner check and the retries over session
// ids, disconnect, switch; and the forwarding entries through which the rest of the agent calls
// the catalog layer.
#include "catalog_binding/catalog_session.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "account/act_as_account.h"
#include "catalog_binding/catalog_operation.h"
#include "core/line_format.h"
#include "core/message_ids.h"
#include "installation/installation_environment.h"
#include "logs/activity_log.h"
#include "logs/trace.h"

namespace ferry::agent {
namespace {

constexpr int kConnectAttempts = 10;
constexpr DWORD kConnectRetryMs = 200;
constexpr int kSessionIdStep = 10;

// The major version is the fourth character of version.rel's first line ("II 2.6/0305 ...").
// A file that does not open keeps the version of the previous connect.
void readVersion(OIConnInfo* connInfo) {
  ConnectionRecord* ci = connInfo->record;
  // The agent's own environment: SetIISYSTEM has just published the installation's root there.
  char root[MAX_PATH] = {};
  DWORD length = GetEnvironmentVariableA("II_SYSTEM", root, sizeof root);
  if (length == 0 || length >= sizeof root) root[0] = '\0';
  char path[MAX_PATH + 32];
  formatMessage(path, sizeof path, "%s\\ingres\\version.rel", root);
  trace(ci, "version file is :%s ", path);
  FILE* file = std::fopen(path, "r");
  if (file == nullptr) {
    trace(ci, "version file open failed ");
    return;
  }
  char line[64] = {};
  if (std::fgets(line, sizeof line, file) == nullptr) line[0] = '\0';
  std::fclose(file);
  // A first line shorter than four characters names no version; the line end is not a digit.
  char major = std::strlen(line) > 3 ? line[3] : '\0';
  if (major == '\r' || major == '\n') major = '\0';
  connInfo->version[0] = major;
  connInfo->version[1] = '\0';
  trace(ci, "version is %s", connInfo->version);
}

bool isInstallationOwner(OIConnInfo* connInfo) {
  ConnectionRecord* ci = connInfo->record;
  if (lstrcmpiA(ci->installation.installationOwner, connInfo->loginName) == 0) return true;
  trace(ci, "connectOpIngresDatabase2(): the login name(%s) is not the instllation owner(%s)",
        connInfo->loginName, ci->installation.installationOwner);
  Log_act(ci, messages::kActivityCatalogConnectFailed);
  return false;
}

}  // namespace

int connectOpIngresDatabase2(OIConnInfo* connInfo, const char* dbName) {
  constexpr const char* routine = "connectOpIngresDatabase2()";
  if (connInfo == nullptr || connInfo->record == nullptr) return DSA_ERROR_ARGUMENT_MISSING;
  ConnectionRecord* ci = connInfo->record;
  trace(ci, "%s: Entered.", routine);
  if (dbName == nullptr) {
    trace(ci, "%s:  p_var_dbname variable is NULL!.", routine);
    return DSA_ERROR_ARGUMENT_MISSING;
  }
  trace(ci, "%s: Db Name to connect = %s.  Currently connected to %s", routine, dbName,
        connInfo->connectedDb);

  int result = SetIISYSTEM(connInfo);
  if (result != 0) {
    trace(ci, "%s: returned because can not change II_SYSEM", routine);
    return result;
  }
  readVersion(connInfo);
  GetInstallationOwner(ci, ci->installation.installationOwner,
                       sizeof ci->installation.installationOwner);

  int sessionId = ci->connectionId;
  trace(ci, "connectOpIngresDatabase2(): session_id= %x", sessionId);
  if (!isInstallationOwner(connInfo)) return DSA_ERROR_NOT_OWNER;
  for (int failed = 0;;) {
    int sqlcode = 0;
    int status = catalogConnect(connInfo->version, sessionId, dbName, &sqlcode);
    if (status != DSA_ERROR_NO_READER && sqlcode >= 0) break;
    trace(ci, "%s: cannot connect to db %s.  sqlca.sqlcode=%d", routine, dbName, sqlcode);
    if (++failed == kConnectAttempts) {
      Log_act(ci, messages::kActivityCatalogConnectFailed);
      return DSA_ERROR_TEMPLATE_OR_SESSION;
    }
    Sleep(kConnectRetryMs);
    // A session id still held by another connection of this process makes the attempt fail;
    // the next id keeps clear of the ids 1..31 the other connections start from.
    sessionId = ci->connectionId + kSessionIdStep * failed;
    trace(ci, "connectOpIngresDatabase2(): session_id= %x", sessionId);
    if (!isInstallationOwner(connInfo)) return DSA_ERROR_NOT_OWNER;
  }
  trace(ci, "%s: Successfully connected to %s with session id=%d", routine, dbName, sessionId);
  formatMessage(connInfo->connectedDb, sizeof connInfo->connectedDb, "%s", dbName);
  connInfo->sessionId = sessionId;
  connInfo->connected = 1;
  return 0;
}

int disconnectOpIngres2(OIConnInfo* connInfo) {
  constexpr const char* routine = "disconnectOpIngres2";
  if (connInfo == nullptr || connInfo->record == nullptr) return DSA_ERROR_ARGUMENT_MISSING;
  ConnectionRecord* ci = connInfo->record;
  trace(ci, "%s : Entered.", routine);
  if (connInfo->connectedDb[0] != '\0' && connInfo->sessionId != 0) {
    if (switchOpIngresSession2(connInfo, connInfo->sessionId) != 0)
      return DSA_ERROR_TEMPLATE_OR_SESSION;
    trace(ci, "%s: About to disconnect from session id=%d, Dbname=%s", routine, connInfo->sessionId,
          connInfo->connectedDb);
    int sqlcode = 0;
    int status = catalogDisconnect(connInfo->version, connInfo->sessionId, &sqlcode);
    // A library that lacks the entry point has not closed the session either.
    if (sqlcode != 0 || status == DSA_ERROR_NO_READER) {
      trace(ci, "%s: cannot diconnect from db %s, sqlcode=%d", routine, connInfo->connectedDb,
            sqlcode);
      connInfo->connectedDb[0] = '\0';
      return DSA_ERROR_TEMPLATE_OR_SESSION;
    }
    connInfo->sessionId = 0;
    connInfo->connectedDb[0] = '\0';
  }
  connInfo->connected = 0;
  return 0;
}

int switchOpIngresSession2(OIConnInfo* connInfo, int sessionId) {
  constexpr const char* routine = "switchOpIngresSession2";
  if (connInfo == nullptr || connInfo->record == nullptr) return DSA_ERROR_CATALOG_QUERY;
  ConnectionRecord* ci = connInfo->record;
  trace(ci, "%s : Entered with session id=%d.", routine, sessionId);
  if (sessionId == connInfo->sessionId) return 0;
  int sqlcode = 0;
  catalogSetSessionId(connInfo->version, sessionId, &sqlcode);
  if (sqlcode < 0) {
    trace(ci, "%s(): cannot switch session to #%d \n", routine, sessionId);
    return DSA_ERROR_CATALOG_QUERY;
  }
  return 0;
}

DWORD actAsCatalogAccount(ConnectionRecord* ci, bool skipWhenAlreadyAccount) {
  ActAsAccountTexts texts;
  texts.routine = "getOpIngresDbList2";
  texts.localLogonFailedRoutine = "getOpIngDbList2";
  texts.localLogonFailed = "Logon user failed for the local account, now trying with domain";
  texts.skipWhenAlreadyAccount = skipWhenAlreadyAccount;
  return actAsConnectionAccount(ci, texts);
}

int closeCatalogSession(OIConnInfo* connInfo, const char* routine, int result,
                        DisconnectRule rule) {
  ConnectionRecord* ci = connInfo->record;
  int disconnected = disconnectOpIngres2(connInfo);
  if (disconnected != 0) {
    trace(ci, "%s: Error disconnecting from database iidbdb (rc=%d).", routine, disconnected);
  } else {
    trace(ci, "%s: Disconnected from database iidbdb (rc=%d).", routine, disconnected);
  }
  if (rule == DisconnectRule::DisconnectFirst) return disconnected != 0 ? disconnected : result;
  return result != 0 ? result : disconnected;
}

int connectOpIngresDatabase(OIConnInfo* connInfo, const char* dbName) {
  return connectOpIngresDatabase2(connInfo, dbName);
}
int disconnectOpIngres(OIConnInfo* connInfo) { return disconnectOpIngres2(connInfo); }
int switchOpIngresSession(OIConnInfo* connInfo, int sessionId) {
  return switchOpIngresSession2(connInfo, sessionId);
}
int getOpIngresDbList(ConnectionRecord* ci, char* buffer, int* size, int* count) {
  return getOpIngresDbList2(ci, buffer, size, count);
}
int getOpIngresJournalDest(OIConnInfo* connInfo, const char* dbName, char* dest) {
  return getOpIngresJournalDest2(connInfo, dbName, dest);
}
int getOpIngresDumpDest(OIConnInfo* connInfo, const char* dbName, char* dest) {
  return getOpIngresDumpDest2(connInfo, dbName, dest);
}
int getOpIngresDataLocNum(OIConnInfo* connInfo, const char* dbName) {
  return getOpIngresDataLocNum2(connInfo, dbName);
}
int getOpIngresDataDest(OIConnInfo* connInfo, const char* dbName, char* dest, size_t destSize) {
  return getOpIngresDataDest2(connInfo, dbName, dest, destSize);
}

}  // namespace ferry::agent
