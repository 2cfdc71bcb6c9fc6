// The ids of ferryres.dll's string table, and the arguments each activity text expects.
//
// One string table serves three groups of ids (see ferryres.rc): the agent's result codes,
// whose text DSAGetError returns; the activity entries, printf-style templates that Log_act
// formats; and the labels of the object property sheet. An id that is both a result code and an
// activity entry has one text for both uses.
//
// Every number that an activity text formats is a 32-bit integer (int, or a DWORD system error
// or result code: on Windows both pass through "..." as 32 bits); every text is a NUL-terminated
// ANSI string. kActivityArguments lists, per activity id, one letter per printf argument in
// order: 's' for a text, 'n' for a number. The ferryres tests check each template against their
// own copy of that list, so a template and its callers cannot drift apart unnoticed.
//
// Header only, no windows.h; usable from the agent and from tests.
#pragma once

#include <cstdint>
#include <string_view>

#include "ferryman.h"

namespace ferry::messages {

// Longest text the agent loads, terminating NUL included: activity templates and error texts.
inline constexpr int kTextBufferSize = 256;
// Longest property label, terminating NUL included.
inline constexpr int kLabelBufferSize = 64;

// Result codes are the agent's DSA_ codes (ferryman.h): DSAGetError loads the text of the same
// id; 10000 + e carries system error e and is described by the system's message table instead.
// Every code of the agent's own that can reach the backup server has a text, in this order:
inline constexpr uint32_t kResultTexts[] = {
    DSA_ERROR_FILE,
    DSA_ERROR_NOT_CONNECTED,
    DSA_ERROR_NO_READER,
    DSA_ERROR_LIST_TOO_LONG,
    DSA_ERROR_ARGUMENT_MISSING,
    DSA_ERROR_NO_FREE_CONNECTION,
    DSA_ERROR_NOT_OWNER,
    DSA_ERROR_WRONG_OBJECT_KIND,
    DSA_ERROR_OUT_OF_SEQUENCE,
    DSA_ERROR_TEMPLATE_OR_SESSION,
    DSA_ERROR_CATALOG_QUERY,
    DSA_ERROR_FOREIGN_OBJECT,
    DSA_ERROR_LINK_REFUSED,
    DSA_ERROR_CHILD_HANDLES,
    DSA_ERROR_INSTANCE,
    DSA_ERROR_NO_FILE_RECORD,
    DSA_ERROR_UNKNOWN_OBJECT,
    DSA_ERROR_NOT_AN_OBJECT_HEADER,
    DSA_ERROR_OUTSIDE_DESTINATIONS,
    DSA_ERROR_EXTRACTOR_SILENT,
    DSA_ERROR_EXTRACTOR_PIPE_SETUP,
    DSA_ERROR_BACKUP_INCOMPLETE,
    DSA_ERROR_RESTORE_INCOMPLETE,
    DSA_ERROR_ROLLFORWARD_FAILED,
    DSA_ERROR_LOCATION_PASSED,
    DSA_ERROR_FILE_INCOMPLETE,
    DSA_ERROR_FOREIGN_FILE,
    DSA_ERROR_INSTALLATION_BUSY,
    DSA_ERROR_REMOTE_STREAM,
    DSA_ERROR_REMOTE_CLIENT_ABSENT,
    DSA_ERROR_NOT_SUPPORTED,
    DSA_ERROR_REMOTE_PIPE_SECURITY,
    DSA_ERROR_REMOTE_PIPE_NOT_CREATED,
    DSA_ERROR_LOGON,
    DSA_ERROR_EXTRACTOR_TIMEOUT,
    DSA_ERROR_BUFFER_TOO_SMALL,
    DSA_LAST_LOCATION_DONE,
    DSA_END_OF_OBJECT,
    DSA_SYSTEM_ERROR_BASE,
};
// DSAGetError shows this code's text for DSA_ERROR_REMOTE_PIPE_SECURITY: string 68 is the
// activity text of kActivityJournalingNotDisabled.
inline constexpr uint32_t textIdOfResult(uint32_t code) {
  return code == DSA_ERROR_REMOTE_PIPE_SECURITY ? DSA_ERROR_EXTRACTOR_PIPE_SETUP : code;
}

// Activity entries. The comment names the arguments in order.
inline constexpr uint32_t kActivityLogonFailed = 28;
inline constexpr uint32_t kActivityConnectSucceeded = 29;
inline constexpr uint32_t kActivityDisconnected = 31;
inline constexpr uint32_t kActivityBackupBegun = 35;  // object name
inline constexpr uint32_t kActivityBackupUnknownConnection = 36;
inline constexpr uint32_t kActivityBackupEnded = 39;         // end status
inline constexpr uint32_t kActivityRestoreBegun = 40;        // object name
inline constexpr uint32_t kActivityRestoreEnded = 44;        // end status
inline constexpr uint32_t kActivityErrorTextRequested = 52;  // result code
inline constexpr uint32_t kActivityErrorTextLookup = 53;
inline constexpr uint32_t kActivityErrorText = 54;  // the text
inline constexpr uint32_t kActivityTemplateNotWritten = 59;
inline constexpr uint32_t kActivityCatalogConnectFailed = 62;
inline constexpr uint32_t kActivityCheckpointStarting = 63;
inline constexpr uint32_t kActivityRollforwardStarting = 64;
inline constexpr uint32_t kActivityCheckpointFailed = 65;
inline constexpr uint32_t kActivityErrorFileNotDeleted = 66;  // path
inline constexpr uint32_t kActivityErrorFileInUse = 67;
inline constexpr uint32_t kActivityJournalingNotDisabled = 68;
inline constexpr uint32_t kActivityCheckpointErrorFile = 69;
inline constexpr uint32_t kActivityUtilityRunning = 70;
inline constexpr uint32_t kActivityRollforwardFailed = 71;
inline constexpr uint32_t kActivityRollforwardErrorFile = 72;
inline constexpr uint32_t kActivityRemotePipeUnknownConnection = 73;
inline constexpr uint32_t kActivityOutOfMemory = 74;
inline constexpr uint32_t kActivityRemotePipeSecurityInit = 75;
inline constexpr uint32_t kActivityRemotePipeSecurityDacl = 76;
inline constexpr uint32_t kActivityRemotePipeNotCreated = 77;
inline constexpr uint32_t kActivityRemoteConnectNoConnection = 78;
inline constexpr uint32_t kActivityRemoteConnectFailed = 79;
inline constexpr uint32_t kActivityTemplateNotOpened = 84;
inline constexpr uint32_t kActivityAccountOrDestination = 85;
inline constexpr uint32_t kActivityTemplateNotClosed = 86;
inline constexpr uint32_t kActivityPrivilegesNotEnabled = 90;  // 0
inline constexpr uint32_t kActivityUserNameUnreadable = 91;    // 0
inline constexpr uint32_t kActivityPipeNotDisconnected = 92;   // system error
inline constexpr uint32_t kActivityThreadNotTerminated = 93;   // thread name, system error
inline constexpr uint32_t kActivityThreadNotCreated = 94;      // thread name, system error
inline constexpr uint32_t kActivityDatabaseListFailed = 95;    // result code
inline constexpr uint32_t kActivityFileNotOpened = 96;         // path, system error
inline constexpr uint32_t kActivityUnknownRestoreKind = 97;
inline constexpr uint32_t kActivityRestoreNoFileName = 99;
inline constexpr uint32_t kActivityFinderUnknownConnection = 100;
inline constexpr uint32_t kActivityConfigReadFailed = 101;            // system error
inline constexpr uint32_t kActivityDatabaseReadFailed = 102;          // system error
inline constexpr uint32_t kActivityJournalReadFailed = 103;           // system error
inline constexpr uint32_t kActivitySystemErrorText = 104;             // system code, text
inline constexpr uint32_t kActivityRestoreOutsideDestinations = 105;  // path, database
inline constexpr uint32_t kActivityRestoreFailed = 106;               // database
inline constexpr uint32_t kActivityRollforwardExit = 107;             // exit code
inline constexpr uint32_t kActivityRollforwardNotEnded = 108;         // seconds
inline constexpr uint32_t kActivityCheckpointNotEnded = 109;          // seconds
inline constexpr uint32_t kActivityRestoredFileShort = 110;           // path
inline constexpr uint32_t kActivityLocationPassed = 111;              // path
inline constexpr uint32_t kActivityFileNotRead = 112;                 // path, system error
inline constexpr uint32_t kActivityFileNotPlaced = 113;               // path, system error
inline constexpr uint32_t kActivityBackupIncomplete = 114;            // object kind
inline constexpr uint32_t kActivityForeignPipeClient = 115;           // process id, image
inline constexpr uint32_t kActivityForeignFileName = 116;             // path
inline constexpr uint32_t kActivityInstallationBusy = 117;            // installation code
inline constexpr uint32_t kActivityRemoteStreamFailed = 118;          // object kind, code
inline constexpr uint32_t kActivityRemoteClientAbsent = 119;          // pipe name, seconds
inline constexpr uint32_t kActivityRemoteAccountUnknown = 120;        // account name
inline constexpr uint32_t kActivityForeignObject = 130;               // object name
inline constexpr uint32_t kActivityLinkRefused = 131;                 // path
inline constexpr uint32_t kActivityChildHandles = 132;                // program, system error
inline constexpr uint32_t kActivityExtractorTimeout = 300;

// Labels of the object property sheet.
inline constexpr uint32_t kLabelSize = 301;
inline constexpr uint32_t kLabelLocation = 302;
inline constexpr uint32_t kLabelInstallation = 303;
inline constexpr uint32_t kLabelObject = 304;
inline constexpr uint32_t kLabelNotAvailable = 305;    // stands in for an unknown size
inline constexpr uint32_t kLabelPropertyColumn = 306;  // heading line: this, TAB, then 307
inline constexpr uint32_t kLabelValueColumn = 307;

struct ActivityArguments {
  uint32_t id;
  std::string_view kinds;  // one letter per argument: 's' text, 'n' 32-bit number
};

inline constexpr ActivityArguments kActivityArguments[] = {
    {kActivityLogonFailed, ""},
    {kActivityConnectSucceeded, ""},
    {kActivityDisconnected, ""},
    {kActivityBackupBegun, "s"},
    {kActivityBackupUnknownConnection, ""},
    {kActivityBackupEnded, "n"},
    {kActivityRestoreBegun, "s"},
    {kActivityRestoreEnded, "n"},
    {kActivityErrorTextRequested, "n"},
    {kActivityErrorTextLookup, ""},
    {kActivityErrorText, "s"},
    {kActivityTemplateNotWritten, ""},
    {kActivityCatalogConnectFailed, ""},
    {kActivityCheckpointStarting, ""},
    {kActivityRollforwardStarting, ""},
    {kActivityCheckpointFailed, ""},
    {kActivityErrorFileNotDeleted, "s"},
    {kActivityErrorFileInUse, ""},
    {kActivityJournalingNotDisabled, ""},
    {kActivityCheckpointErrorFile, ""},
    {kActivityUtilityRunning, ""},
    {kActivityRollforwardFailed, ""},
    {kActivityRollforwardErrorFile, ""},
    {kActivityRemotePipeUnknownConnection, ""},
    {kActivityOutOfMemory, ""},
    {kActivityRemotePipeSecurityInit, ""},
    {kActivityRemotePipeSecurityDacl, ""},
    {kActivityRemotePipeNotCreated, ""},
    {kActivityRemoteConnectNoConnection, ""},
    {kActivityRemoteConnectFailed, ""},
    {kActivityTemplateNotOpened, ""},
    {kActivityAccountOrDestination, ""},
    {kActivityTemplateNotClosed, ""},
    {kActivityPrivilegesNotEnabled, "n"},
    {kActivityUserNameUnreadable, "n"},
    {kActivityPipeNotDisconnected, "n"},
    {kActivityThreadNotTerminated, "sn"},
    {kActivityThreadNotCreated, "sn"},
    {kActivityDatabaseListFailed, "n"},
    {kActivityFileNotOpened, "sn"},
    {kActivityUnknownRestoreKind, ""},
    {kActivityRestoreNoFileName, ""},
    {kActivityFinderUnknownConnection, ""},
    {kActivityConfigReadFailed, "n"},
    {kActivityDatabaseReadFailed, "n"},
    {kActivityJournalReadFailed, "n"},
    {kActivitySystemErrorText, "ns"},
    {kActivityRestoreOutsideDestinations, "ss"},
    {kActivityRestoreFailed, "s"},
    {kActivityRollforwardExit, "n"},
    {kActivityRollforwardNotEnded, "n"},
    {kActivityCheckpointNotEnded, "n"},
    {kActivityRestoredFileShort, "s"},
    {kActivityLocationPassed, "s"},
    {kActivityFileNotRead, "sn"},
    {kActivityFileNotPlaced, "sn"},
    {kActivityBackupIncomplete, "n"},
    {kActivityForeignPipeClient, "ns"},
    {kActivityForeignFileName, "s"},
    {kActivityInstallationBusy, "s"},
    {kActivityRemoteStreamFailed, "nn"},
    {kActivityRemoteClientAbsent, "sn"},
    {kActivityRemoteAccountUnknown, "s"},
    {kActivityForeignObject, "s"},
    {kActivityLinkRefused, "s"},
    {kActivityChildHandles, "sn"},
    {kActivityExtractorTimeout, ""},
};

// The argument letters of an activity id; false (and *kinds untouched) for an id that is not an
// activity entry.
constexpr bool activityArguments(uint32_t id, std::string_view* kinds) {
  for (const ActivityArguments& entry : kActivityArguments) {
    if (entry.id == id) {
      *kinds = entry.kinds;
      return true;
    }
  }
  return false;
}

}  // namespace ferry::messages
