#include "utility/run_lock.h"

#include <map>
#include <string>

#include "logs/activity_log.h"
#include "logs/trace.h"
#include "message_ids.h"
#include "unique_handle.h"

namespace ferry::agent {
namespace {

// The connection of this process that holds each installation's run lock.
std::map<std::string, int>& localOwners() {
  static std::map<std::string, int> owners;
  return owners;
}

std::string mutexName(const ConnectionRecord* ci) {
  return std::string("ferryman_datarun_") + ci->installationCode;
}

// Takes the machine-wide mutex without waiting: the mutex, or none when another holds it.
UniqueHandleNull takeMutex(const ConnectionRecord* ci) {
  UniqueHandleNull mutex(
      CreateMutexA(/*security=*/nullptr, /*initialOwner=*/FALSE, mutexName(ci).c_str()));
  if (!mutex) return mutex;
  const DWORD waited = WaitForSingleObject(mutex.get(), 0);
  // An abandoned mutex: its owner went without ending its run, which is over all the same.
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) mutex.reset();
  return mutex;
}

}  // namespace

DWORD acquireRunLock(ConnectionRecord* ci, const char* routine) {
  if (ci->runLock) return 0;
  const auto owner = localOwners().find(ci->installationCode);
  UniqueHandleNull mutex;
  if (owner == localOwners().end() || owner->second == ci->connectionId) mutex = takeMutex(ci);
  if (!mutex) {
    trace(ci, "%s(): a data backup or restore already runs on installation %s", routine,
          ci->installationCode);
    Log_act(ci, messages::kActivityInstallationBusy, ci->installationCode);
    return DSA_ERROR_INSTALLATION_BUSY;
  }
  ci->runLock.reset(mutex.release());
  localOwners()[ci->installationCode] = ci->connectionId;
  return 0;
}

void releaseRunLock(ConnectionRecord* ci) {
  if (!ci->runLock) return;
  ReleaseMutex(ci->runLock.get());
  ci->runLock.reset();
  const auto owner = localOwners().find(ci->installationCode);
  if (owner != localOwners().end() && owner->second == ci->connectionId) {
    localOwners().erase(owner);
  }
}

bool otherRunActive(ConnectionRecord* ci) {
  if (ci->runLock) return false;
  const auto owner = localOwners().find(ci->installationCode);
  if (owner != localOwners().end() && owner->second != ci->connectionId) return true;
  // Not this process's: another process holds the mutex if it cannot be had now.
  UniqueHandleNull mutex = takeMutex(ci);
  if (!mutex) return true;
  ReleaseMutex(mutex.get());
  return false;
}

}  // namespace ferry::agent
