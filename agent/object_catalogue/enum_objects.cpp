// DSAEnumObjects: the objects the agent offers, an object's size and its property sheet.
#define FERRYMAN_BUILD
#include <windows.h>

#include <cstring>
#include <memory>
#include <new>

#include "catalog_binding/catalog_session.h"
#include "connection/connection_table.h"
#include "core/ingres_names.h"
#include "core/message_ids.h"
#include "ferryman.h"
#include "library/agent_state.h"
#include "logs/activity_log.h"
#include "logs/trace.h"
#include "object_catalogue/catalogue.h"

namespace ferry::agent {
namespace {

constexpr int kWorkAreaSize = 65536;

DSA_RESULT listObjects(ConnectionRecord* ci, char* buffer, uint32_t* bufferSize) {
  std::unique_ptr<char[]> dbList(new (std::nothrow) char[kWorkAreaSize]());
  if (!dbList) return resultFromWin32(ERROR_NOT_ENOUGH_MEMORY);
  // The list query keeps to the caller's size rule, in an area of the agent's own: the
  // expanded list is longer than the database list, so it cannot be built in place.
  int size = *bufferSize < static_cast<uint32_t>(kWorkAreaSize) ? static_cast<int>(*bufferSize)
                                                                : kWorkAreaSize;
  int count = 0;
  int rc = getOpIngresDbList(ci, dbList.get(), &size, &count);
  if (rc != 0) {
    trace(ci, "DSAEnumObjects(): getOpIngresDbList failed rc = %d", rc);
    Log_act(ci, messages::kActivityDatabaseListFailed, rc);
    return rc > 10000 ? static_cast<DSA_RESULT>(rc) : DSA_ERROR_TEMPLATE_OR_SESSION;
  }
  trace(ci, "DSAEnumObjects(): Getting Database Names");
  size_t used = size > 0 && size <= kWorkAreaSize ? static_cast<size_t>(size) : kWorkAreaSize;
  size_t needed = buildObjectList(dbList.get(), used, buffer, *bufferSize);
  if (needed > *bufferSize) {
    trace(ci, "DSAEnumObjects(): Buffer is not big enough needed = %d", static_cast<int>(needed));
    *bufferSize = static_cast<uint32_t>(needed);
    return DSA_ERROR_BUFFER_TOO_SMALL;
  }
  *bufferSize = static_cast<uint32_t>(needed);
  trace(ci, "DSAEnumObjects(): Final len = %d", static_cast<int>(needed));
  return DSA_OK;
}

DSA_RESULT objectSize(ConnectionRecord* ci, const char* objectName, char* buffer,
                      uint32_t* bufferSize) {
  if (*bufferSize < sizeof(ObjectSizeRecord)) {
    *bufferSize = sizeof(ObjectSizeRecord);
    return DSA_ERROR_BUFFER_TOO_SMALL;
  }
  ObjectSizeRecord record = {};
  getOpIngresDbInfo(ci, objectName, &record);
  std::memcpy(buffer, &record, sizeof record);
  return DSA_OK;
}

}  // namespace
}  // namespace ferry::agent

extern "C" DSA_RESULT DSAEnumObjects(uint32_t connectionId, const char* objectName,
                                     uint32_t objectType, void* buffer, uint32_t* bufferSize) {
  using namespace ferry::agent;
  AgentLockGuard lock;
  ConnectionRecord* ci = findConnection(static_cast<int>(connectionId));
  if (ci == nullptr) return DSA_ERROR_NOT_CONNECTED;
  traceStartBanner(ci, "DSAEnumObjects");
  DSA_RESULT result = DSA_OK;
  char* out = static_cast<char*>(buffer);
  if (objectType == 4) {
    trace(ci, "DSAEnumObjects(): Get Tables - currently unsupported");
  } else if (objectType != 1 && objectType != 2 && objectType != 5) {
    trace(ci, "DSAEnumObjects(): Invalid input object type; %d", static_cast<int>(objectType));
    result = DSA_ERROR_NO_READER;
  } else if (buffer == nullptr || bufferSize == nullptr) {
    result = DSA_ERROR_ARGUMENT_MISSING;
  } else if (objectType != 1 && objectName != nullptr &&
             !objectDatabaseNameAllowed(objectName, NameRule::Catalogue)) {
    // The database name would reach the catalog queries and the folders they name.
    trace(ci, "DSAEnumObjects(): the object name carries no valid database name; refused");
    result = DSA_ERROR_UNKNOWN_OBJECT;
  } else if (objectType == 1) {
    result = listObjects(ci, out, bufferSize);
  } else if (objectType == 2) {
    result = objectSize(ci, objectName, out, bufferSize);
  } else {
    result = getOpIngresDbOptions(ci, objectName, out, bufferSize);
  }
  traceEndBanner(ci, "DSAEnumObjects");
  return result;
}
