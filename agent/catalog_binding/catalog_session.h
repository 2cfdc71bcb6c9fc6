// The agent's side of catalog access: the dispatch to the catalog library chosen by the
// installation's major version, the connection's Ingres session, and the catalog-derived
// operations the DSA functions need (database list, journal, dump and data destinations, number
// of data locations).
//
// Conventions:
// - Called on the DSA function's thread under the agent lock; trace lines go to the connection's
//   trace log (through connInfo->record).
// - Results: 0 success; 1, 3, 4, 5, 7, 12, 14 agent codes; 11314 infodb's "ERROR" line;
//   10000 + a system error; a raw system error when the logon or impersonation fails.
// - Every operation but connect/disconnect/switch acts as the connection's account, opens a
//   session on "iidbdb", runs one query and closes the session again, whatever its result.
// - Each X2 has a forwarding entry X with the same arguments and result, through which the rest
//   of the agent calls it.
// - Destination buffers are the caller's: one path needs at most kDestinationSize bytes; the data
//   destination list is given its buffer's size and holds one path per kDestinationSize bytes of
//   it (a database with more locations gives 4).
#pragma once

#include <cstddef>

#include "connection/connection_record.h"

namespace ferry::agent {

inline constexpr size_t kDestinationSize = 1024;

// Catalog dispatch: `version` selects the library ("3" or more: sounder30, else sounder26); the
// export's own result, or 3 when the chosen library does not provide the entry point.
int catalogConnect(const char* version, int sessionId, const char* dbName, int* sqlcode);
int catalogDisconnect(const char* version, int sessionId, int* sqlcode);
int catalogSetSessionId(const char* version, int sessionId, int* sqlcode);
int catalogGetDbCount(const char* version, int* count, int* sqlcode);
int catalogGetDbList(const char* version, char* buffer, int* bufferSize, int* count, int* sqlcode);
int catalogGetJournalDest(const char* version, const char* dbName, char* area, int* sqlcode);
int catalogGetDumpDest(const char* version, const char* dbName, char* area, int* sqlcode);
int catalogGetDataLocNum(const char* version, const char* dbName, int* count, int* sqlcode);
int catalogGetDataDest(const char* version, const char* dbName, char* buffer, int* count,
                       int* sqlcode);

// Session of the connection.
int connectOpIngresDatabase2(OIConnInfo* connInfo, const char* dbName);
int disconnectOpIngres2(OIConnInfo* connInfo);
int switchOpIngresSession2(OIConnInfo* connInfo, int sessionId);

// Catalog operations. `size` is in and out: the caller's buffer size, then the bytes used.
int getOpIngresDbList2(ConnectionRecord* ci, char* buffer, int* size, int* count);
int getOpIngresJournalDest2(OIConnInfo* connInfo, const char* dbName, char* dest);
int getOpIngresDumpDest2(OIConnInfo* connInfo, const char* dbName, char* dest);
int getOpIngresDataLocNum2(OIConnInfo* connInfo, const char* dbName);
int getOpIngresDataDest2(OIConnInfo* connInfo, const char* dbName, char* dest, size_t destSize);

// Forwarding entries.
int connectOpIngresDatabase(OIConnInfo* connInfo, const char* dbName);
int disconnectOpIngres(OIConnInfo* connInfo);
int switchOpIngresSession(OIConnInfo* connInfo, int sessionId);
int getOpIngresDbList(ConnectionRecord* ci, char* buffer, int* size, int* count);
int getOpIngresJournalDest(OIConnInfo* connInfo, const char* dbName, char* dest);
int getOpIngresDumpDest(OIConnInfo* connInfo, const char* dbName, char* dest);
int getOpIngresDataLocNum(OIConnInfo* connInfo, const char* dbName);
int getOpIngresDataDest(OIConnInfo* connInfo, const char* dbName, char* dest, size_t destSize);

// The directories of database `dbName` that the files of a `kind` object (data, journals or
// configuration) lie in, from the catalog, kept in ci->destinations: where a restore may write,
// and where a backup's extractor may name files. 0 or the catalog operation's code.
DWORD resolveDestinations(ConnectionRecord* ci, const char* routine, const char* dbName,
                          ObjectType kind);

}  // namespace ferry::agent
