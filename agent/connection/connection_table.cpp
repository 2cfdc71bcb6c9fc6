#include "connection/connection_table.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "core/slot_words.h"
#include "held_lock.h"
#include "library/named_objects.h"
#include "unique_handle.h"

namespace ferry::agent {
namespace {

constexpr char kSlotMapName[] = "ferryman_sharedmem";
// Two processes connecting at the same instant could both see one word free, and a creator
// could zero words another process has just taken; every slot-map change holds this mutex.
constexpr char kSlotMapMutexName[] = "ferryman_sharedmem_lock";
constexpr DWORD kSlotMapLockWaitMs = 30000;

struct ConnectionSlot {
  uint16_t inUse;
  ConnectionRecord record;
};

ConnectionSlot g_table[kSlotCount];

// The section handle kept from the first allocation for the life of the process, so the map
// outlives every view of it.
UniqueHandleNull g_slotMap;
std::atomic<int> g_slotMapHandles{0};
// The mutex, likewise kept from its first use until the library is unloaded: made anew for each
// connect, its name would be free whenever no process held it, for anyone to take first.
UniqueHandleNull g_slotMapMutex;

class SlotMapLock {
 public:
  SlotMapLock() {
    if (!g_slotMapMutex) {
      // One that another account made first is not the agent's: it is tried again next time.
      NamedObject mutex = createAgentMutex(kSlotMapMutexName);
      foreign_ = mutex.foreign();
      g_slotMapMutex = std::move(mutex.handle);
    }
    // An abandoned mutex still serialises us; its owner's change either landed or not.
    if (g_slotMapMutex) hold_ = HeldLock::wait(g_slotMapMutex.get(), kSlotMapLockWaitMs);
  }
  bool owned() const { return hold_.held(); }
  // True when the mutex's name belongs to another account.
  bool foreign() const { return foreign_; }

 private:
  HeldLock hold_;
  bool foreign_ = false;
};

// Counts the handles to the section that this library holds.
class CountedSection {
 public:
  explicit CountedSection(HANDLE handle) : handle_(handle) {
    if (handle_) ++g_slotMapHandles;
  }
  ~CountedSection() {
    if (handle_) --g_slotMapHandles;
  }
  CountedSection(const CountedSection&) = delete;
  CountedSection& operator=(const CountedSection&) = delete;
  HANDLE get() const { return handle_.get(); }
  bool valid() const { return handle_.valid(); }

 private:
  UniqueHandleNull handle_;
};

// Empties a slot: the record is destroyed (its members close whatever handle is still held) and
// value-initialised in place, so that the next connection on the id starts from nothing.
void clearSlot(ConnectionSlot* slot) {
  std::destroy_at(&slot->record);
  ::new (static_cast<void*>(&slot->record)) ConnectionRecord();
  slot->inUse = 0;
}

// A view of the map: the words and, unless the map was made by an agent that records no owners
// (its section holds the words alone), the owners behind them.
struct SlotMapView {
  UniqueView view;
  uint32_t* words = nullptr;
  SlotOwner* owners = nullptr;
};

bool mapSlots(HANDLE section, SlotMapView* map) {
  map->view.reset(MapViewOfFile(section, FILE_MAP_ALL_ACCESS, 0, 0, kSlotMapWithOwnersBytes));
  const bool withOwners = map->view.valid();
  if (!withOwners)
    map->view.reset(MapViewOfFile(section, FILE_MAP_ALL_ACCESS, 0, 0, kSlotMapBytes));
  if (!map->view) return false;
  auto* base = static_cast<unsigned char*>(map->view.get());
  map->words = reinterpret_cast<uint32_t*>(base);
  map->owners = withOwners ? reinterpret_cast<SlotOwner*>(base + kSlotOwnersOffset) : nullptr;
  return true;
}

uint64_t startTimeOf(HANDLE process) {
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return static_cast<uint64_t>(created.dwHighDateTime) << 32 | created.dwLowDateTime;
}

SlotOwner thisProcess() {
  static const SlotOwner owner{GetCurrentProcessId(), 0, startTimeOf(GetCurrentProcess())};
  return owner;
}

// Whether the process that took a slot still runs. Only a process that is certainly gone
// counts as gone: one that exists but cannot be asked (another account's, say) keeps its slots.
bool ownerAlive(const SlotOwner& owner, void* /*context*/) {
  const SlotOwner self = thisProcess();
  if (owner.processId == self.processId && owner.startTime == self.startTime) return true;
  UniqueHandleNull process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE,
                                       /*inherit=*/FALSE, owner.processId));
  if (!process) return GetLastError() != ERROR_INVALID_PARAMETER;            // no such process
  if (WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) return false;  // it has ended
  const uint64_t started = startTimeOf(process.get());
  // Another process under the same id started later than the owner.
  return started == 0 || started == owner.startTime;
}

}  // namespace

ConnectionRecord* findConnection(int id) {
  if (!validConnectionId(id) || g_table[id].inUse == 0) return nullptr;
  return &g_table[id].record;
}

int allocateConnection(const char** foreignObject) {
  if (foreignObject != nullptr) *foreignObject = nullptr;
  SlotMapLock lock;
  if (!lock.owned()) {
    if (lock.foreign() && foreignObject != nullptr) *foreignObject = kSlotMapMutexName;
    return 0;
  }
  bool created = false;
  if (!g_slotMap) {
    // An existing map keeps the size its creator gave it: an older agent's holds the words only.
    NamedObject section =
        createAgentMapping(kSlotMapName, static_cast<DWORD>(kSlotMapWithOwnersBytes));
    if (!section.usable()) {
      if (section.foreign() && foreignObject != nullptr) *foreignObject = kSlotMapName;
      return 0;
    }
    created = section.outcome == NamedObjectOutcome::kCreated;
    g_slotMap = std::move(section.handle);
    ++g_slotMapHandles;
  }
  SlotMapView map;
  if (!mapSlots(g_slotMap.get(), &map)) return 0;
  if (created)
    std::memset(map.words, 0, map.owners != nullptr ? kSlotMapWithOwnersBytes : kSlotMapBytes);
  // Ids of hosts that ended without releasing them come back before the search.
  reclaimAbandonedSlots(map.words, map.owners, ownerAlive, /*context=*/nullptr);
  int id = takeFirstFreeSlot(map.words, map.owners, thisProcess());
  if (id != 0) g_table[id].inUse = 1;
  return id;
}

void releaseConnection(int id) {
  if (!validConnectionId(id)) return;
  SlotMapLock lock;
  if (!lock.owned()) return;
  // Opened by name, as any process may release, and closed again whether or not other ids
  // remain in use: a handle kept per release would pile up for the life of the process. A map
  // that is not the agent's is left alone.
  CountedSection section(OpenFileMappingA(FILE_MAP_ALL_ACCESS, /*inherit=*/FALSE, kSlotMapName));
  if (!section.valid() || !ownedByAgentAccounts(section.get())) return;
  SlotMapView map;
  if (!mapSlots(section.get(), &map)) return;
  releaseSlot(map.words, map.owners, id);
  clearSlot(&g_table[id]);
}

void releaseAllConnections() {
  for (int id = kFirstConnectionId; id <= kLastConnectionId; ++id) {
    if (g_table[id].inUse != 0) releaseConnection(id);
  }
}

void closeSlotMap() {
  if (g_slotMap) {
    g_slotMap.reset();
    --g_slotMapHandles;
  }
  g_slotMapMutex.reset();
}

int slotMapHandlesHeld() { return g_slotMapHandles.load(); }

}  // namespace ferry::agent
