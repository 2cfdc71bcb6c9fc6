#include "utility/run_lock.h"

#include <map>
#include <string>

#include "core/message_ids.h"
#include "held_lock.h"
#include "library/named_objects.h"
#include "logs/activity_log.h"
#include "logs/trace.h"
#include "unique_handle.h"

namespace ferry::agent {
namespace {

// The connection of this process that holds each installation's run lock.
std::map<std::string, int>& localOwners() {
  static std::map<std::string, int> owners;
  return owners;
}

std::string lockName(const ConnectionRecord* ci) {
  return std::string("ferryman_datarun_") + ci->installation.installationCode;
}

// The machine-wide lock taken without waiting: its handle and its hold, or none when another
// holds it. A semaphore of one, not a mutex: a backup server may end a run on another thread
// than the one that began it, and a mutex can only be given back by its owning thread. The lock
// of a process that died goes with its handle, the only one kept open for long.
// A semaphore of that name that another account made first is never used (`foreign`): whoever
// made it could hold or release it at will.
struct TakenLock {
  UniqueHandleNull handle;  // before the hold, which goes first
  HeldLock hold;
  bool foreign = false;
};

TakenLock takeLock(const ConnectionRecord* ci) {
  TakenLock lock;
  NamedObject semaphore = createAgentSemaphore(lockName(ci).c_str(), /*initial=*/1, /*maximum=*/1);
  lock.foreign = semaphore.foreign();
  lock.handle = std::move(semaphore.handle);
  if (lock.handle) {
    lock.hold = HeldLock::wait(lock.handle.get(), /*waitMs=*/0, HeldLock::Kind::kSemaphore);
  }
  if (!lock.hold) lock.handle.reset();
  return lock;
}

}  // namespace

DWORD acquireRunLock(ConnectionRecord* ci, const char* routine) {
  if (ci->run.runLock) return 0;
  const auto owner = localOwners().find(ci->installation.installationCode);
  TakenLock lock;
  if (owner == localOwners().end() || owner->second == ci->connectionId) lock = takeLock(ci);
  if (lock.foreign) {
    const std::string name = lockName(ci);
    trace(ci, "%s(): the run lock %s belongs to another account; not used", routine, name.c_str());
    Log_act(ci, messages::kActivityForeignObject, name.c_str());
    return DSA_ERROR_FOREIGN_OBJECT;
  }
  if (!lock.hold) {
    trace(ci, "%s(): a data backup or restore already runs on installation %s", routine,
          ci->installation.installationCode);
    Log_act(ci, messages::kActivityInstallationBusy, ci->installation.installationCode);
    return DSA_ERROR_INSTALLATION_BUSY;
  }
  ci->run.runLock.reset(lock.handle.release());
  ci->run.runLockHold = std::move(lock.hold);
  localOwners()[ci->installation.installationCode] = ci->connectionId;
  return 0;
}

void releaseRunLock(ConnectionRecord* ci) {
  if (!ci->run.runLock) return;
  ci->run.runLockHold.release();
  ci->run.runLock.reset();
  const auto owner = localOwners().find(ci->installation.installationCode);
  if (owner != localOwners().end() && owner->second == ci->connectionId) {
    localOwners().erase(owner);
  }
}

bool otherRunActive(ConnectionRecord* ci) {
  if (ci->run.runLock) return false;
  const auto owner = localOwners().find(ci->installation.installationCode);
  if (owner != localOwners().end() && owner->second != ci->connectionId) return true;
  // Not this process's: another process holds the lock if it cannot be had now.
  // The hold taken to find out is given back at once. A lock of another account's tells
  // nothing, and counts as held: the template is left as it is.
  return !takeLock(ci).hold;
}

}  // namespace ferry::agent
