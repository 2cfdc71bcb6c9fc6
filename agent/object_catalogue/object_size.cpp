// The size and the property sheet of one object: its destinations from the catalog, measured on
// disk.
#include <windows.h>

#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "account/account_layer.h"
#include "account/act_as_account.h"
#include "catalog_binding/catalog_session.h"
#include "core/message_ids.h"
#include "logs/activity_log.h"
#include "logs/trace.h"
#include "object_catalogue/catalogue.h"

namespace ferry::agent {
namespace {

// The object's destinations and size; false (traced) when either cannot be found.
struct Measured {
  std::unique_ptr<DestinationList> destinations;
  int64_t bytes = -1;
};

bool measureObject(ConnectionRecord* ci, const char* routine, const char* objectName,
                   Measured* measured) {
  const ObjectName name =
      classifyObjectName(objectName != nullptr ? objectName : "", NameRule::Catalogue);
  const ObjectType kind = name.type;
  const std::string database(name.dbName);
  if (kind == ObjectType::None) {
    // Nothing could be asked for a name that names no database the catalog can hold.
    trace(ci, "%s(): object name does not name a database: [%s]", routine,
          objectName != nullptr ? objectName : "");
    return false;
  }
  measured->destinations.reset(new (std::nothrow) DestinationList());
  DestinationList* list = measured->destinations.get();
  if (list == nullptr) return false;
  OIConnInfo* connInfo = &ci->connInfo;
  int result = 0;
  if (kind == ObjectType::Journal) {
    result = getOpIngresJournalDest(connInfo, database.c_str(), list->paths);
    if (result != 0) trace(ci, "%s(): could not get the journal destination", routine);
    list->count = 1;
  } else if (kind == ObjectType::Config) {
    result = getOpIngresDumpDest(connInfo, database.c_str(), list->paths);
    if (result != 0) trace(ci, "%s(): could not get the dump destination", routine);
    list->count = 1;
  } else {
    result = getOpIngresDataDest(connInfo, database.c_str(), list->paths, sizeof list->paths);
    if (result != 0) trace(ci, "%s(): could not get the data destination", routine);
    list->count = connInfo->locationCount;
  }
  if (result != 0) return false;
  measured->bytes = CalculateDirectorySize(ci, list);
  if (measured->bytes < 0) {
    trace(ci, "%s(): Unable to get the directory size", routine);
    return false;
  }
  return true;
}

std::string label(uint32_t id) {
  char text[messages::kLabelBufferSize] = {};
  loadMessageText(id, text, sizeof text);
  return text;
}

}  // namespace

int getOpIngresDbInfo(ConnectionRecord* ci, const char* objectName, ObjectSizeRecord* sizeRecord) {
  Measured measured;
  uint32_t kb = kUnknownSizeKb;
  if (measureObject(ci, "getOpIngresDbInfo", objectName, &measured)) kb = sizeInKb(measured.bytes);
  sizeRecord->sizeKb = kb;
  sizeRecord->sizeKbAgain = kb;
  return 0;
}

uint32_t getOpIngresDbOptions(ConnectionRecord* ci, const char* objectName, char* sheet,
                              uint32_t* size) {
  trace(ci, "getOpIngresDbOptions(): Entered. retBufSize= %d", static_cast<int>(*size));
  char userName[81] = {};
  DWORD userSize = sizeof userName;
  // An unreadable name never equals the account's, so the logon decides.
  if (accountLayer().currentUserName(userName, &userSize) != ERROR_SUCCESS) userName[0] = '\0';
  if (std::strcmp(userName, ci->connInfo.loginName) != 0) {
    ActAsAccountTexts texts;
    texts.routine = "getOpIngresDbOptions";
    texts.localLogonFailed = "Logon user failed for the local account, now trying with domain";
    texts.skipWhenAlreadyAccount = false;
    DWORD acted = actAsConnectionAccount(ci, texts);
    if (acted != ERROR_SUCCESS) return acted;
  }

  using namespace messages;
  PropertyLabels labels{label(kLabelSize),         label(kLabelLocation),
                        label(kLabelInstallation), label(kLabelObject),
                        label(kLabelNotAvailable), label(kLabelPropertyColumn),
                        label(kLabelValueColumn)};
  PropertyFacts facts;
  facts.installationCode = ci->installation.installationCode;
  facts.objectName = objectName != nullptr ? objectName : "";
  Measured measured;
  if (measureObject(ci, "getOpIngresDbOptions", objectName, &measured)) {
    facts.found = true;
    facts.sizeKb = sizeInKb(measured.bytes);
    const DestinationList& list = *measured.destinations;
    const char* path = list.paths;
    const char* areaEnd = list.paths + kDestinationAreaSize;
    for (int i = 0; i < list.count && path < areaEnd; ++i) {
      size_t length = strnlen(path, static_cast<size_t>(areaEnd - path));
      facts.destinations.emplace_back(path, length);
      path += length + 1;
    }
  }
  size_t reported = 0;
  std::vector<char> built = buildPropertySheet(labels, facts, &reported);
  if (built.size() > *size) {
    trace(ci, "getOpIngresDbOptions(): Buffer is not big enough needed = %d",
          static_cast<int>(built.size()));
    *size = static_cast<uint32_t>(built.size());
    return DSA_ERROR_BUFFER_TOO_SMALL;
  }
  std::memcpy(sheet, built.data(), built.size());
  *size = static_cast<uint32_t>(reported);
  return 0;
}

}  // namespace ferry::agent
