// The connection table: 32 slots in the library's static data, slot n for connection id n (slot
// 0 never used), and the machine-wide slot map "ferryman_sharedmem" that keeps ids unique among
// all processes that load the agent.
//
// Conventions:
// - Callers hold the agent lock (every entry point does), so the table needs no lock of its
//   own. The slot map is shared between processes and guarded by a named mutex, which the
//   process keeps from its first use until the library is unloaded.
// - The slot map records each slot's owning process (id and start time) behind its words;
//   a map made by an agent that records no owners is used as it is, and slots without an owner
//   (that agent's) are never taken back.
// - Ids are 1 to 31; 0 means "none". Functions never index outside the table.
// - No exceptions.
#pragma once

#include "connection/connection_record.h"

namespace ferry::agent {

// The record of connection `id` while it is in use, else null (also for ids outside 1 to 31).
ConnectionRecord* findConnection(int id);

// Takes the first id that no process uses, marks it in the slot map with this process as its
// owner and in the table, and returns it; 0 when all 31 are taken or the slot map cannot be
// created or locked. Ids whose recorded owner has ended are taken back first. The slot map and
// its mutex are made with the agent's DACL (library/named_objects.h); when one of them exists
// and belongs to another account, 0 is returned and *foreignObject (when given) names it.
int allocateConnection(const char** foreignObject = nullptr);

// Frees `id` in the slot map and empties its slot: the record is value-initialised, and any
// handle still in it is closed on the way. Does nothing for an id outside 1 to 31 or when no
// slot map exists.
void releaseConnection(int id);

// Releases every id this process still holds: the library is being unloaded, and ids left
// marked would stay taken machine-wide for as long as the slot map lives.
void releaseAllConnections();

// Closes the slot map handle that this process keeps from its first allocation, and the slot
// map's mutex.
void closeSlotMap();

// Number of slot map handles this process holds (1 after the first allocation; a release never
// leaves one behind). For the tests of the handle discipline.
int slotMapHandlesHeld();

}  // namespace ferry::agent
