// The per-object work block of the backup and restore flows (ConnectionRecord::objectBlock).
//
// Conventions:
// - One block per object, allocated zero-filled by the object's begin step with
//   allocateObjectBlock and released by the step that ends the object (DSAEndBackup, the end of a
//   restore, or disconnecting).
// - Every kind uses the database name; the other fields belong to the kinds named beside them
//   and stay zero for the others.
// - Texts are NUL-terminated within their arrays.
#pragma once

#include <cstddef>
#include <cstdint>

#include "connection/connection_record.h"

namespace ferry::agent {

struct ObjectBlock {
  char dbName[255];
  // Checkpoint number text of the object ("0004") and its value: data and configuration
  // backups, restores.
  char checkpointText[13];
  int32_t checkpointValue;
  // Journal backups: the journal directory; configuration backups: the dump directory.
  char directory[1024];
  // Configuration backups: 2 when the dump destination does not exist (no files to deliver).
  int32_t dumpDestinationState;
  // Journal backups: the database's current journal sequence from infodb (0 when unknown).
  int32_t currentJournalNumber;
  // 1 once the reader delivered the object's last file: the end step may then act on it.
  int32_t delivered;
  char reserved[4];
};

static_assert(offsetof(ObjectBlock, checkpointText) == 255);
static_assert(offsetof(ObjectBlock, checkpointValue) == 268);
static_assert(sizeof(ObjectBlock) == 1312);

inline constexpr int32_t kDumpDestinationAbsent = 2;

// A zeroed block for `ci`, replacing (and freeing) one left from an earlier object; null when
// memory is short (the earlier block is then freed all the same).
ObjectBlock* allocateObjectBlock(ConnectionRecord* ci);
// Frees the connection's block, if any, and clears the field.
void releaseObjectBlock(ConnectionRecord* ci);

}  // namespace ferry::agent
