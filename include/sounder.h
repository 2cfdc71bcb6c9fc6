// sounder26.dll / sounder30.dll: the Ingres catalog queries the agent runs.
//
// Conventions:
// - C linkage, exported by name; the agent binds all thirteen names at run time and never links
//   against the library. sounder30.dll is the same source built for Ingres 3 installations.
// - Calling convention SOUNDER_CALL, __stdcall, as the agent's own exports: the callee removes
//   its arguments. The names are undecorated in the x86 build as in the x64 one (sounder.def).
//   The library's own calls into the embedded-SQL runtime keep the C default (cdecl).
// - Every export returns 0, or 14 for a failed or empty query where stated; no other value.
//   Each also hands back the embedded-SQL runtime's sqlcode (0 success, 100 no more rows,
//   negative an error) through its sqlcode argument.
// - Every query runs on the runtime's current session; IngConnect, IngDisconnect and
//   IngSetSessionId name the session they act on.
// - Output buffers are the caller's, and the library never writes past the size it is given:
//   each list export reads its buffer's size from an argument it already had (named below), the
//   location areas are 1024 bytes by contract. A list that does not fit, also one that grew since
//   the caller counted it, is cut before the first entry that does not fit and answered with 14;
//   the size (or count) argument then tells what the whole list needs. Name lists are packed:
//   each entry NUL-terminated, the next directly after it.
// - The library keeps no state and allocates nothing; it writes diagnostics with
//   OutputDebugStringA only. Nothing crosses the boundary as an exception.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

#ifdef SOUNDER_BUILD
#define SOUNDER_API __declspec(dllexport)
#else
#define SOUNDER_API __declspec(dllimport)
#endif
#ifdef _WIN32
#define SOUNDER_CALL __stdcall
#else
#define SOUNDER_CALL
#endif

// Results.
enum { SOUNDER_OK = 0, SOUNDER_QUERY_FAILED = 14 };

// Opens session `sessionId` on database `dbName` and makes it current. Always 0: judge *sqlcode.
SOUNDER_API int SOUNDER_CALL IngConnect(int sessionId, const char* dbName, int* sqlcode);
// Closes session `sessionId`. Always 0: judge *sqlcode.
SOUNDER_API int SOUNDER_CALL IngDisconnect(int sessionId, int* sqlcode);
// Makes session `sessionId` the current one. Always 0: judge *sqlcode.
SOUNDER_API int SOUNDER_CALL IngSetSessionId(int sessionId, int* sqlcode);

// Number of databases (rows of iidatabase); *count unchanged when there is no row. Always 0.
SOUNDER_API int SOUNDER_CALL IngGetDbCount(int* count, int* sqlcode);
// Packed database names, no empty entry after the last. *bufferSize: on entry the bytes
// `buffer` holds; on return the bytes the names use, or need when they do not fit. *count: the
// number of databases (also when they do not fit). 0; 14 on a failed query or when the names
// do not fit (*sqlcode then is the code after the close, 0 or 100).
SOUNDER_API int SOUNDER_CALL IngGetDbList(char* buffer, int* bufferSize, int* count, int* sqlcode);

// Number of journaled user tables of the current database. Always 0.
SOUNDER_API int SOUNDER_CALL IngGetTableCnt(int* count, int* sqlcode);
// Packed journaled user table names without their padding blanks, then one empty entry. *size:
// on entry the bytes `buffer` holds; on return the bytes used including that final NUL, or
// needed when the list does not fit. `ignored` is not read. 0, or 14 (also when it does not fit).
SOUNDER_API int SOUNDER_CALL IngGetTableList(void* ignored, char* buffer, int* size, int* count,
                                             int* sqlcode);

// Location area of the database's journal location, fetched into `area` (1024 bytes: at most
// 1023 characters are fetched); left unchanged when there is no row. 0, or 14 when *sqlcode is
// negative or 100.
SOUNDER_API int SOUNDER_CALL IngGetJournalDest(const char* dbName, char* area, int* sqlcode);
// Location area of the database's dump location into `area` (1024 bytes); empty when there is
// no row. 0, or 14 when *sqlcode is negative or 100.
SOUNDER_API int SOUNDER_CALL IngGetDumpDest(const char* dbName, char* area, int* sqlcode);
// Number of distinct data location areas of the database (*count is reset to 0 first).
// 0, or 14 when *sqlcode is negative or 100.
SOUNDER_API int SOUNDER_CALL IngGetDataLocNum(const char* dbName, int* count, int* sqlcode);
// Packed data location areas (a final backslash removed), no empty entry after the last.
// *count: on entry the number of areas `buffer` has room for, at 1024 bytes each (areas are at
// most 1023 characters); on return the number of areas the database has, also when they did not
// all fit. 0; 14 when *sqlcode is negative or 100, or when the areas did not all fit.
SOUNDER_API int SOUNDER_CALL IngGetDataDest(const char* dbName, char* buffer, int* count,
                                            int* sqlcode);

// Kept for the binding; no work. IngGetTableLocNum is the same entry point. Always 0.
SOUNDER_API int SOUNDER_CALL IngGetTableInfo(void);

// The exports' types, for the agent's binding by name (GetProcAddress) and its tests.
typedef int(SOUNDER_CALL* PFN_IngConnect)(int sessionId, const char* dbName, int* sqlcode);
typedef int(SOUNDER_CALL* PFN_IngDisconnect)(int sessionId, int* sqlcode);
typedef int(SOUNDER_CALL* PFN_IngSetSessionId)(int sessionId, int* sqlcode);
typedef int(SOUNDER_CALL* PFN_IngGetDbCount)(int* count, int* sqlcode);
typedef int(SOUNDER_CALL* PFN_IngGetDbList)(char* buffer, int* bufferSize, int* count,
                                            int* sqlcode);
typedef int(SOUNDER_CALL* PFN_IngGetTableCnt)(int* count, int* sqlcode);
typedef int(SOUNDER_CALL* PFN_IngGetTableList)(void* ignored, char* buffer, int* size, int* count,
                                               int* sqlcode);
// IngGetJournalDest and IngGetDumpDest.
typedef int(SOUNDER_CALL* PFN_IngGetDest)(const char* dbName, char* area, int* sqlcode);
typedef int(SOUNDER_CALL* PFN_IngGetDataLocNum)(const char* dbName, int* count, int* sqlcode);
typedef int(SOUNDER_CALL* PFN_IngGetDataDest)(const char* dbName, char* buffer, int* count,
                                              int* sqlcode);
// IngGetTableInfo and IngGetTableLocNum.
typedef int(SOUNDER_CALL* PFN_IngGetTableInfo)(void);

#ifdef __cplusplus
}
#endif
