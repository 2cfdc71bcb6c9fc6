// The per-connection state of the agent: ConnectionRecord and its catalog session block
// OIConnInfo.
//
// Conventions:
// - One record per connection id, in the connection table's static slots; value-initialised
//   when the id is released (every number and text 0, every handle none, no work block), so
//   every field starts empty for a new connection unless the connect step sets it.
// - Character fields hold NUL-terminated ANSI text in fixed arrays.
// - Handles: the record owns every handle in it, each in an owning member (RecordHandle,
//   RecordSearch) for which both 0 and INVALID_HANDLE_VALUE mean none, the two values the
//   record's convention uses (INVALID_HANDLE_VALUE for the access token and the remote pipe).
//   The step that ends a handle's use closes it through its member; disconnecting closes what
//   is left, in its fixed order, and releasing the id closes anything still held.
// - Grouped by concern: the connection and its current object first, then one sub-record each
//   for the account, the catalog session (connInfo), the installation, the data run, the
//   destinations, the backup, the restore and remote streaming. Every field keeps the name the
//   trace lines use (ci->installation.installationCode, ci->remote.rhPipe).
// - The field order is not relied on outside the agent.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/object_types.h"
#include "held_lock.h"
#include "unique_handle.h"

namespace ferry::agent {

struct ConnectionRecord;

// The Ingres session block of a connection (field connInfo of ConnectionRecord).
struct OIConnInfo {
  char installationCodeHead[4];  // first bytes of the installation code, set at connect
  ConnectionRecord* record;      // back reference to the record that holds this block
  char connectedDb[36];          // database of the open session; empty when none
  int32_t sessionId;             // Ingres session id of the open session; 0 when none
  int32_t connected;             // 1 while a session is open
  char loginName[64];            // the connection's account
  char password[68];
  char domainName[64];
  char version[64];       // Ingres major version: one digit and a NUL; empty until first read
  int32_t locationCount;  // data locations found by the last data-location query
};

// Per-object work block of the backup and restore flows; defined by those flows (object_block.h).
struct ObjectBlock;
struct ObjectBlockDeleter {
  void operator()(ObjectBlock* block) const;
};

// The account the connection acts as: its logon token (name, domain and password are in the
// catalog session block, OIConnInfo).
struct AccountState {
  RecordHandle hAccessToken;  // logon token of the account; INVALID_HANDLE_VALUE none
};

// The Ingres installation the connection serves, and what the agent has read of it.
struct InstallationState {
  char installationCode[255];  // text after the first '@' of instanceName
  char iiSystem[260];
  char pathValue[32768];
  char envNames[32][256];  // installation variable cache; an empty name is a free entry
  char envValues[32][256];
  char installationOwner[256];
};

// The data run of the connection: the checkpoint or roll-forward utility, the extractor pipe its
// template's work lines connect to, and the installation's run lock it holds meanwhile.
struct DataRunState {
  RecordHandle pipeHandle;  // server end of the extractor pipe
  int32_t pipeConnected;    // 1 while a client is connected to the extractor pipe
  RecordHandle ckpdbProcessHandle;
  RecordHandle rollforwardProcessHandle;  // the roll forward of the connection's data restore
  RecordHandle runLock;  // the installation's data-run lock while a data run of ours is under way
  HeldLock runLockHold;  // its hold, given back before the handle goes
};

// Directories a restored file may be written to (the data locations, the journal or the dump
// destination of the restored database), or the data locations a data backup's extractor may
// name files in; resolved by the begin step; NUL-separated.
struct DestinationState {
  int32_t restoreDestinationCount;
  char restoreDestinations[16384];
};

// The backup flow's state between DSABeginBackup and DSAEndBackup.
struct BackupState {
  int32_t backupCount;  // incremented by every backup begin; returned as the backup id
  char ckpdbID[10];     // checkpoint number text of the running backup
  int32_t tagAbort;     // abort flag: journal files are deleted only while it is 0
  // Current active journal sequence of the database, read from infodb before a journal backup.
  int32_t currentJournalNumber;
  // What keeps a backup from being called complete when it is not: the code the object failed
  // with; later reads return it.
  int32_t objectFailed;
  // Data backups: the location the current extractor lists (the directory of its first file).
  char backupLocation[1024];
  // Journal backups: the files delivered whole, the only ones the clean-up may delete.
  std::vector<std::string> deliveredFiles;
  RecordSearch findFileConfig;  // open search of the dump directory
  int32_t findFileConfigActive;
  RecordSearch findFileJournal;  // open search of the journal directory
  int32_t findFileJournalActive;
};

// The restore flow's state: the object of the current restore session and the work state of the
// connection's restore. restoreRequest holds the path of the next (or last) file.
struct RestoreState {
  int32_t restoreCount;  // incremented by every restore begin; returned as the restore id
  int32_t restoreBegun;
  int32_t first_write;  // 1 once the first DSAWrite ran the begin step (once per connection)
  char restoreRequest[1024];
  char lastRequestName[1024];      // copy of the last restore request
  int32_t noFile;                  // 1 when the current pipe request opened no file
  char restoreCheckpointText[10];  // checkpoint id given to rollforwarddb
  RecordHandle hRestoreEvent;
  char restoreLocationDirectory[264];
  ::ferry::agent::ObjectType restoreKind;  // the kind of the last object name of a known form
  uint32_t restoreOption;                  // option bits of the last DSABeginRestore
  int32_t restoreSessionOpen;              // 1 from DSABeginRestore to DSAEndRestore
  int32_t restoreSuffix;                   // first ".%d" suffix tried for a file that is kept
  int32_t journalRestoreBegun;             // set by the journal begin step
  int32_t configObjectHandedOut;
  int32_t restoreEndTimeSet;         // 1 when DSASetRestorePointInTime gave restoreEndTime
  int64_t restoreEndTime;            // seconds since 1970, UTC
  int32_t restoreLocationsReleased;  // extractors released by a change of location
  int32_t restoreExtractorHeld;      // 1 while a connected extractor waits for its release
  // Data restore: 1 once anything of it failed; it is then not finalised.
  int32_t restoreFailed;
  // The restored file of the current session: written under restoreTempPath, put in place under
  // restoreFinalPath when it ended whole.
  char restoreTempPath[272];
  char restoreFinalPath[272];
  uint32_t restoreHeaderSizeKb;  // the size its header gave
  uint64_t restoreBytesWritten;
  // Data restores: the locations whose extractor was released (the roll forward has passed them).
  std::vector<std::string> releasedLocations;
};

// Remote streaming (agent/remote): what the connection's threads share with the calls. The
// events and atomics are the only fields a thread touches without the agent lock.
struct RemoteState {
  int32_t remoteJob;  // 1 once a remote pipe was created for the connection
  char remotePipeName[256];
  RecordHandle rhPipe;  // remote pipe (overlapped); INVALID_HANDLE_VALUE none
  int32_t headerSent;   // remote backup: the first header was returned and the writer started
  std::atomic<int32_t> pipe_connect_called;   // the connect thread has started
  std::atomic<int32_t> remoteWriteDone;       // the writer has finished (remoteResult says how)
  std::atomic<uint32_t> remoteResult;         // the writer's outcome, or the current file's
  std::atomic<uint32_t> remoteConnectResult;  // 0 connected; else why no client came
  RecordHandle remoteStop;                    // manual-reset: the connection's remote threads end
  RecordHandle remotePipeClosing;  // manual-reset: the current remote pipe is being closed
  RecordHandle remoteConnected;    // manual-reset: the connect wait of the current pipe is over
  RecordHandle remoteFileReady;    // auto-reset: restore: a file is open for the reader
  RecordHandle remoteFileDone;     // manual-reset: restore: the reader is done with the file
  int32_t remoteFileHandedOver;    // restore: the session's file is the reader's (calls only)
  RecordHandle hRemotePipeConnectThread;
  RecordHandle hWriteRemotePipeThread;
  RecordHandle hReadRemotePipeThread;
};

struct ConnectionRecord {
  // The connection and its current object.
  int32_t connectionId;  // also the base of the connection's Ingres session ids
  char instanceName[72];
  int32_t traceOn;  // 1 while trace lines may be written for this connection
  ConnectionStatus status;
  ::ferry::agent::ObjectType ObjectType;  // the kind of the current (or last) object
  char dbName[256];
  uint32_t bkrtOption;  // option bits of the current begin call
  std::unique_ptr<ObjectBlock, ObjectBlockDeleter>
      objectBlock;  // released at the end of the object
  char ObjectName[1024];
  RecordHandle fd;  // open object file; 0 none; INVALID_HANDLE_VALUE marks a failed open

  AccountState account;
  OIConnInfo connInfo;  // the catalog session
  InstallationState installation;
  DataRunState run;
  DestinationState destinations;
  BackupState backup;
  RestoreState restore;
  RemoteState remote;
};

}  // namespace ferry::agent
