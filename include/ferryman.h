/* ferryman.dll: the database agent for Ingres, as the backup server's host process calls it.
 *
 * Conventions:
 * - C linkage, exported by name: the same undecorated names in the x64 and the x86 build.
 * - Calling convention FERRYMAN_CALL, __stdcall (WINAPI): the callee removes its arguments from
 *   the stack, as every Win32 interface does; on x64 there is only the one convention. A host
 *   binds the exports with the PFN_ types below, which carry it.
 * - Every function returns an unsigned 32-bit result code: 0 is success; 1 to 10000 are the
 *   agent's own codes, whose texts DSAGetError gives; 10000 + e is Windows system error e. A
 *   failed logon or impersonation at connect returns 85.
 * - Every function but DSAConnectAgent takes the connection id first and returns 2 for an id
 *   that is not in use.
 * - Buffers are the caller's; the agent allocates nothing that the caller frees. Out-parameters
 *   are set to their failure value first.
 * - Calls of all connections are serialised inside the agent; the calls of one connection must
 *   come from one thread (the account the agent acts as stays on that thread between calls).
 * - Text is ANSI and NUL-terminated. Nothing crosses the boundary as an exception.
 */
#ifndef FERRYMAN_H
#define FERRYMAN_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if !defined(_WIN32)
/* The platform-free core and its native tests use the codes and types only. */
#define FERRYMAN_API
#define FERRYMAN_CALL
#else
#define FERRYMAN_CALL __stdcall
#if defined(FERRYMAN_BUILD)
#define FERRYMAN_API __declspec(dllexport)
#else
#define FERRYMAN_API __declspec(dllimport)
#endif
#endif

typedef uint32_t DSA_RESULT;

/* Result codes: the one list of the agent's codes. Each has a text in the message library
 * (DSAGetError); 10000 + e is Windows system error e, and a failed logon or impersonation in a
 * begin step returns the system error itself (below 10000), as the account layer reports it. */
#define DSA_OK 0u
#define DSA_ERROR_FILE                                                                      \
  1u                               /* a file could not be opened, read, created or written, \
                                      or a utility reported an error */
#define DSA_ERROR_NOT_CONNECTED 2u /* the connection id is not in use */
#define DSA_ERROR_NO_READER                                                                 \
  3u                               /* no reader for the object kind; also a catalog library \
                                      that lacks the entry point asked for */
#define DSA_ERROR_LIST_TOO_LONG 4u /* a catalog answer does not fit the agent's buffer */
#define DSA_ERROR_ARGUMENT_MISSING 5u
#define DSA_ERROR_NO_FREE_CONNECTION 6u
#define DSA_ERROR_NOT_OWNER 7u /* the login is not the installation owner */
#define DSA_ERROR_WRONG_OBJECT_KIND 8u
#define DSA_ERROR_OUT_OF_SEQUENCE 9u
#define DSA_ERROR_TEMPLATE_OR_SESSION                         \
  12u /* the checkpoint template could not be written, or the \
         catalog session could not be opened or closed */
#define DSA_ERROR_CATALOG_QUERY 14u
#define DSA_ERROR_FOREIGN_OBJECT                                                              \
  15u /* a named object of the agent (slot map, its lock, run lock, restore event) exists and \
         belongs to another account: not used */
#define DSA_ERROR_LINK_REFUSED                                                           \
  16u /* a file the agent writes under a fixed name is a link or reparse point (or has a \
         second name): not written through */
#define DSA_ERROR_CHILD_HANDLES \
  17u /* a utility could not be started with only its own handles: it was not started */
#define DSA_ERROR_INSTANCE                                                              \
  18u /* no '@' in the instance name, an installation code that breaks Ingres' rule, or \
         "iidbdb" unreachable */
#define DSA_ERROR_NO_FILE_RECORD 20u /* the extractor gave no (further) file record */
#define DSA_ERROR_UNKNOWN_OBJECT \
  21u /* an object name of none of the known forms, or its database name breaks Ingres' rules */
#define DSA_ERROR_NOT_AN_OBJECT_HEADER 22u
#define DSA_ERROR_OUTSIDE_DESTINATIONS 23u
#define DSA_ERROR_EXTRACTOR_SILENT 24u /* the extractor broke off: the object is incomplete */
#define DSA_ERROR_EXTRACTOR_PIPE_SETUP 25u
#define DSA_ERROR_BACKUP_INCOMPLETE 26u  /* the object was not delivered whole: no checkpoint */
#define DSA_ERROR_RESTORE_INCOMPLETE 27u /* a data restore failed or was cut off: not finalised */
#define DSA_ERROR_ROLLFORWARD_FAILED 28u /* the roll forward failed or did not end in time */
#define DSA_ERROR_LOCATION_PASSED 29u    /* a restored file's location was already released */
#define DSA_ERROR_FILE_INCOMPLETE 30u    /* a restored file is shorter than its header says */
#define DSA_ERROR_FOREIGN_FILE 31u       /* the extractor named a file outside its location */
#define DSA_ERROR_INSTALLATION_BUSY                 \
  32u /* another data backup or restore runs on the \
         installation */
#define DSA_ERROR_REMOTE_STREAM                                                                \
  33u                                      /* the remote pipe broke off or its client stalled: \
                                              the object is incomplete */
#define DSA_ERROR_REMOTE_CLIENT_ABSENT 34u /* no client opened the remote pipe in time */
#define DSA_ERROR_NOT_SUPPORTED 50u
#define DSA_ERROR_REMOTE_PIPE_SECURITY 68u /* DSAGetError shows the text of 25 for it */
#define DSA_ERROR_REMOTE_PIPE_NOT_CREATED 77u
#define DSA_ERROR_LOGON                                        \
  85u /* the account could not be logged on or impersonated at \
         connect; the journal destination is unknown */
#define DSA_ERROR_EXTRACTOR_TIMEOUT 300u
#define DSA_ERROR_BUFFER_TOO_SMALL 500u
#define DSA_LAST_LOCATION_DONE 4095u /* internal to the data reader; DSARead returns 0 */
#define DSA_END_OF_OBJECT 9999u
#define DSA_SYSTEM_ERROR_BASE 10000u /* itself: a system call failed without an error code */

/* Logs `accountName` ("user" or "domain\user") on with `password`, allocates a connection id
 * and proves that the account reaches the installation named after the first '@' of
 * `instanceName` (for example "ingres@II"; the code is taken in upper case, as Ingres writes
 * it). *connectionId receives the id, 0 on failure. 0; 85 logon or impersonation failed; 6 no
 * free id; 15 the slot map or its lock belongs to another account; 18 no '@' or "iidbdb"
 * unreachable. */
FERRYMAN_API DSA_RESULT FERRYMAN_CALL DSAConnectAgent(uint32_t reserved, const char* instanceName,
                                        const char* accountName, const char* password,
                                        uint32_t* connectionId);

/* Ends the connection: every handle, thread and pipe is released, the id freed. A data restore
 * ends here: when every file arrived whole, the end marker is written, the last extractor
 * released and the roll forward waited for (up to 5 minutes). 0; 2; 27 the data restore failed
 * or was cut off (a write or file failed, a file was short, the stream ended inside a file, the
 * server ended a session with a non-zero status, the extractor went away): no marker, the
 * extractor aborted so that the roll forward fails; 28 the roll forward ended with a failure or
 * did not end within the wait. Each is also written to the activity log. The id is freed in every
 * case. */
FERRYMAN_API DSA_RESULT FERRYMAN_CALL DSADisconnectAgent(uint32_t connectionId);

/* The text of `errorCode` into `buffer`, its length without the NUL in *length (when `length`
 * is given): agent codes (up to 10000, 68 showing 25's text) from the message library (at
 * least 256 bytes); system codes (10000 + e) from the system message table (at least 1300
 * bytes). `connectionId` need not be in use. Always 0. */
FERRYMAN_API DSA_RESULT FERRYMAN_CALL DSAGetError(uint32_t connectionId, uint32_t errorCode,
                                                  char* buffer, uint32_t* length);

/* Not supported: return 50 whatever they are given. */
FERRYMAN_API DSA_RESULT FERRYMAN_CALL DSAOpen(uint32_t connectionId, void* argument);
FERRYMAN_API DSA_RESULT FERRYMAN_CALL DSAClose(uint32_t connectionId, void* argument);
FERRYMAN_API DSA_RESULT FERRYMAN_CALL DSAFileSize(uint32_t connectionId, void* argument);
FERRYMAN_API DSA_RESULT FERRYMAN_CALL DSAGetNextFile(uint32_t connectionId, void* argument);
FERRYMAN_API DSA_RESULT FERRYMAN_CALL DSALockDBagent(uint32_t connectionId, void* argument);
FERRYMAN_API DSA_RESULT FERRYMAN_CALL DSAUnlockDBagent(uint32_t connectionId, void* argument);

/* Accepted and ignored: return 0 whatever they are given. */
FERRYMAN_API DSA_RESULT FERRYMAN_CALL DSAControl(uint32_t connectionId, void* argument);
FERRYMAN_API DSA_RESULT FERRYMAN_CALL DSABeginBackupStripe(uint32_t connectionId, void* argument);
FERRYMAN_API DSA_RESULT FERRYMAN_CALL DSABeginRestoreStripe(uint32_t connectionId, void* argument);
FERRYMAN_API DSA_RESULT FERRYMAN_CALL DSAGetCanonicalPath(uint32_t connectionId, void* argument);

/* Who the agent is: the 96-byte record (vendor name at 0, build number at 48, vendor version at
 * 64, agent version at 72, library date at 80; NUL-terminated ANSI fields) into `info`.
 * *infoSize below 96: 50, nothing written; else *infoSize = 96 and 0. */
FERRYMAN_API DSA_RESULT FERRYMAN_CALL DSAGetAgentInfo(uint32_t connectionId, void* info,
                                                      uint32_t* infoSize);

/* The object catalogue. `objectType` 1: the object names (NUL-terminated, then an empty entry
 * and one more zero byte) with their length in *bufferSize; 2: the size of `objectName` as two
 * 32-bit KB counts (3000 when unknown); 4: nothing, 0; 5: the property sheet of `objectName`
 * (at least 1024 bytes) with its reported size in *bufferSize. *bufferSize gives the buffer's
 * size on entry; when the result does not fit: 500 with the needed size, nothing written.
 * 0; 3 other types; 5 no buffer; 12 or 10000 + e the database list failed; a raw system error
 * when acting as the account fails (type 5). */
FERRYMAN_API DSA_RESULT FERRYMAN_CALL DSAEnumObjects(uint32_t connectionId, const char* objectName,
                                                     uint32_t objectType, void* buffer,
                                                     uint32_t* bufferSize);

/* The directories the agent covers (each database's data locations, dump and journal
 * destinations), each NUL-terminated, with their total size including the NULs in *bufferSize.
 * 0; 500 the buffer is smaller than the needed size (returned), nothing written; 1 out of
 * memory; the database list's error. */
FERRYMAN_API DSA_RESULT FERRYMAN_CALL DSAGetExcludedFiles(uint32_t connectionId, void* buffer,
                                                          uint32_t* bufferSize);

/* Backup option bits (DSABeginBackup `options`). */
#define DSA_OPTION_REMOTE 0x4u /* the data go through the remote pipe (see DSABeginBackup) */
#define DSA_OPTION_DELETE_JOURNALS 0x10u /* journals: delete the delivered ones at the end */
#define DSA_OPTION_PURGE_CHECKPOINTS 0x20u
#define DSA_OPTION_ENABLE_JOURNALING 0x40u
#define DSA_OPTION_DISABLE_JOURNALING 0x80u
#define DSA_OPTION_VERBOSE 0x100u
/* Restore option bits (DSABeginRestore `restoreOption`). */
#define DSA_OPTION_OVERWRITE_JOURNALS 0x200u
#define DSA_OPTION_POINT_IN_TIME 0x800u
#define DSA_OPTION_KEEP_CONFIGURATION 0x2000u

#define DSA_OBJECT_HEADER_SIZE 1024u

/* Begins the backup of one object of the catalogue: "<db>.DATA" (a checkpoint run; the suffix's
 * case is ignored), "<db>.~CONFIG" (configuration and dump files; best after the data object on
 * the same connection, whose checkpoint number it carries) or "~JOURNAL OF DATABASE <db>"
 * (journal files). The dotted forms are cut at the '.' in the caller's string. *backupId
 * receives the connection's backup count, *remoteArg the connection id.
 * With option bit 4 the object's data go through the remote pipe
 * "\\.\pipe\ferryman@<code>\dbagent<backup id>s<connection id>", which the media side opens as a
 * client; its DACL lets in SYSTEM, the Administrators, the connection's account and the accounts
 * of the instance key's "RemotePipeAccounts" value (names separated by ';').
 * 0; 2; 21 a name of none of the three forms (nothing begun); 77 the remote pipe could not be
 * made (nothing begun); 12 template; 300 the extractor did not connect within 20 s; 20 no
 * checkpoint record; 15 the installation's run lock belongs to another account; 16 an output
 * file's fixed name is a link; 17 the checkpoint run could not be started with only its own
 * handles; the checkpoint run's, infodb's, catalog's or account's code. */
FERRYMAN_API DSA_RESULT FERRYMAN_CALL DSABeginBackup(uint32_t connectionId, char* objectName, uint32_t options,
                                       uint32_t* backupId, uint32_t* remoteArg);

/* Reads the next piece of the object's stream into `buffer`: *count gives the buffer's size (a
 * multiple of the sector size at a sector-aligned address: the files are read unbuffered) and
 * receives the bytes returned. Per file: one call returns the 1024-byte object header (needs
 * *count >= 1024), calls return data, one returns 9999 with *count 0; after the last file one
 * call returns 0 with *count 0 (and an empty header). 0; 9999; 1 a file could not be measured,
 * opened or read, or its path does not fit the header (the activity log names it); 2; 3
 * unknown object kind; 9 no backup begun; 24 the extractor broke off or the next location's
 * extractor did not come (the object is incomplete); 500 *count below 1024 where a header is due
 * (nothing written). After 1 or 24 the object is failed: every later call returns the same code
 * and DSAEndBackup aborts the checkpoint run.
 * Remote backup (option bit 4): the first call returns the first file's header (or the empty end
 * of an object without files) and starts the agent's writer, which sends everything after it on
 * the remote pipe and closes the pipe after the last file; later calls return 0 without data
 * (*count unchanged) while it streams or once it has streamed the whole object, and the code the
 * object failed with otherwise: 33 the pipe broke or its client stopped reading, 34 no client
 * opened the pipe within 5 minutes. */
FERRYMAN_API DSA_RESULT FERRYMAN_CALL DSARead(uint32_t connectionId, uint32_t backupId,
                                              uint32_t reserved, void* buffer, uint32_t* count);

/* Ends the object's backup: pipe, checkpoint run and work state released. A data object read to
 * its end waits up to 60 s for the checkpoint run to finish; one that was not aborts it, so that
 * Ingres records no checkpoint. Journal objects with option 0x10 and `endStatus` 0 delete the
 * journals they delivered whole, except the current one. `endStatus` is logged.
 * 0; 2; 9 no backup begun; 1 the checkpoint run failed or did not end within 60 s (activity
 * entry); 26 `endStatus` is 0 but the object was not delivered whole. */
FERRYMAN_API DSA_RESULT FERRYMAN_CALL DSAEndBackup(uint32_t connectionId, uint32_t endStatus);

/* Begins the restore of one file of an object: "<db>.DATA" (database data: the first write of
 * the connection starts the roll-forward, whose extractor holds each location while the agent
 * fills it), "<db>.~CONFIG" (configuration and dump files) or "~JOURNAL OF DATABASE <db>"
 * (journal files). The server replays each file as one session: DSABeginRestore, DSAWrite of
 * its 1024-byte object header, DSAWrite of its data blocks, DSAEndRestore. The begin step runs
 * once per connection, so one connection restores one object of one database; journals and
 * configuration (on connections of their own) go before the data. `restoreOption` bits: 0x200
 * overwrite existing journal files (else a file that exists is restored beside it as
 * "<name>.<n>", the first n from 0 that is free); 0x2000 keep existing configuration and dump
 * files the same way (else they are replaced), both read per session; 0x400, 0x800, 0x1000
 * go to the roll-forward (no journals, end time from DSASetRestorePointInTime, verbose) from
 * the session whose first write starts it. *restoreId receives the connection's restore
 * count, *ioUnitId the connection id. A name with none of the three forms returns 0 and leaves
 * the connection's object kind as it was. The files of a data restore are written location by
 * location, each once rollforwarddb has emptied it.
 * Option bit 4: the session's file data come through the remote pipe
 * "\\.\pipe\ferryman@<code>\dbagent<restore id>s<connection id>" (one pipe per session; its
 * DACL as for a remote backup): the media side writes the data in messages of at most 32768
 * bytes and then a message of 0 bytes; DSAWrite takes only the header.
 * 0; 2; 5 an argument missing; 8 the connection already restores another object or database;
 * 15 the restore event belongs to another account (nothing begun); 77 the remote pipe could not
 * be made. */
FERRYMAN_API DSA_RESULT FERRYMAN_CALL DSABeginRestore(uint32_t connectionId, const char* objectName,
                                        uint32_t restoreOption, uint32_t* restoreId,
                                        uint32_t* ioUnitId);

/* Writes the next piece of the restore stream: *bytesToWrite bytes of `buffer` (the count is
 * read, never changed). While no file is open the block must be an object header (1024 bytes,
 * the magic text, a NUL-terminated path; on the connection's first write also a checkpoint
 * number of 1 to 9 digits): its file is created (missing directories too) and every following
 * block of the session is the file's data. The path must name a file directly inside one of the
 * database's data locations (data), its journal destination (journals) or its dump destination
 * (configuration); another place is refused and logged. A data file goes only into the location
 * whose extractor the roll forward holds: one in a location already released is refused (29).
 * An existing file that is read-only, or a directory where the file should be, is refused at
 * its header. Any failure of a data restore fails the whole restore (see DSADisconnectAgent).
 * 0; 1 a write failed (the file is closed and discarded); 2; 5 no count, or no buffer for a
 * non-empty block; 9 no session begun, or the restore did not begin; 12 template; 20 no
 * extractor request; 22 no valid header where one is due; 23 a path outside the destinations;
 * 29 a location the roll forward has passed; 300 the next location's extractor did not connect
 * within 20 s; the roll-forward run's, catalog's or account's code; 10000 + e the file could not
 * be created; 16 its temporary ".restoring" name (or an output file's) is a link or has a
 * second name; 9 also for a data block in a remote session. Nothing is written for a refused
 * block. */
FERRYMAN_API DSA_RESULT FERRYMAN_CALL DSAWrite(uint32_t connectionId, uint32_t reserved1,
                                               uint32_t reserved2, const void* buffer,
                                               uint32_t* bytesToWrite);

/* Ends the session: the restored file, written under a temporary name beside its final one, is
 * checked against the size its header gave, flushed and moved over the final name; a file that
 * is short or cannot be put in place is deleted and the original kept. A non-zero `endStatus`
 * also fails the session's file (and a data restore). The data restore itself ends when the
 * connection is disconnected (DSADisconnectAgent). A remote session first waits (up to 60 s)
 * for the file's data to have come from the remote pipe, then closes the pipe. 0; 2; 30 the file
 * is shorter than its header says; 10000 + e it could not be put in place; 33 the remote stream
 * broke off or did not end (the file is discarded); 34 no client opened the remote pipe. */
FERRYMAN_API DSA_RESULT FERRYMAN_CALL DSAEndRestore(uint32_t connectionId, uint32_t endStatus);

/* The point in time (seconds since 1970, UTC) a data restore with option 0x800 rolls forward
 * to; given as local time to the roll-forward. Call before the connection's first DSAWrite;
 * without it option 0x800 sets no end time. 0; 2; 9 the restore has begun; 10087 a negative
 * time. */
FERRYMAN_API DSA_RESULT FERRYMAN_CALL DSASetRestorePointInTime(uint32_t connectionId,
                                                               int64_t endTime);

/* The entry points' types, for callers that bind the agent at run time by name
 * (GetProcAddress), as the backup server's host process does. */
typedef DSA_RESULT(FERRYMAN_CALL* PFN_DSAConnectAgent)(uint32_t, const char*, const char*,
                                                       const char*, uint32_t*);
typedef DSA_RESULT(FERRYMAN_CALL* PFN_DSADisconnectAgent)(uint32_t);
typedef DSA_RESULT(FERRYMAN_CALL* PFN_DSAGetError)(uint32_t, uint32_t, char*, uint32_t*);
/* DSAOpen to DSAUnlockDBagent and DSAControl to DSAGetCanonicalPath. */
typedef DSA_RESULT(FERRYMAN_CALL* PFN_DSATrivial)(uint32_t, void*);
typedef DSA_RESULT(FERRYMAN_CALL* PFN_DSAGetAgentInfo)(uint32_t, void*, uint32_t*);
typedef DSA_RESULT(FERRYMAN_CALL* PFN_DSAEnumObjects)(uint32_t, const char*, uint32_t, void*,
                                                      uint32_t*);
typedef DSA_RESULT(FERRYMAN_CALL* PFN_DSAGetExcludedFiles)(uint32_t, void*, uint32_t*);
typedef DSA_RESULT(FERRYMAN_CALL* PFN_DSABeginBackup)(uint32_t, char*, uint32_t, uint32_t*,
                                                      uint32_t*);
typedef DSA_RESULT(FERRYMAN_CALL* PFN_DSARead)(uint32_t, uint32_t, uint32_t, void*, uint32_t*);
typedef DSA_RESULT(FERRYMAN_CALL* PFN_DSAEndBackup)(uint32_t, uint32_t);
typedef DSA_RESULT(FERRYMAN_CALL* PFN_DSABeginRestore)(uint32_t, const char*, uint32_t, uint32_t*,
                                                       uint32_t*);
typedef DSA_RESULT(FERRYMAN_CALL* PFN_DSAWrite)(uint32_t, uint32_t, uint32_t, const void*,
                                                uint32_t*);
typedef DSA_RESULT(FERRYMAN_CALL* PFN_DSAEndRestore)(uint32_t, uint32_t);
typedef DSA_RESULT(FERRYMAN_CALL* PFN_DSASetRestorePointInTime)(uint32_t, int64_t);

#ifdef __cplusplus
}
#endif

#endif /* FERRYMAN_H */
