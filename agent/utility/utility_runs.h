// The Ingres utility driver: the agent's checkpoint template and the ckpdb / rollforwarddb runs
// that read it.
//
// Conventions:
// - Callers hold the agent lock (the begin steps of the backup and restore flows run inside the
//   entry points); nothing here takes a lock of its own.
// - Results: tmplmod_customize_template gives 0 or 1. The runs give 0 while the utility runs,
//   else 2 (connection id not in use), 5 (argument missing), 1 (the old error file stays, the
//   error file cannot be measured, the utility wrote to its error file during its start check or
//   ended within it with an exit code other than 0), 25 (pipe
//   or its security descriptor), 10000 + the system error when the utility did not start, and
//   the raw system error of a failed logon or impersonation, as the account seam reports it.
//   A name or command line that would not fit its buffer gives 10000 + ERROR_FILENAME_EXCED_RANGE,
//   a checkpoint id or end time that is too long 10000 + ERROR_INVALID_PARAMETER: nothing is
//   cut short and nothing is started.
// - On success the connection record holds the pipe's server end in pipeHandle and the
//   utility's process in ckpdbProcessHandle or rollforwardProcessHandle; the record owns them.
//   The start check lasts at most 5 s and ends as soon as its answer is certain (the extractor on
//   the pipe, a complaint in the error file, the utility's end). A utility whose start check
//   failed is ended and not kept.
// - The calling thread keeps the identity of the connection's account when a run returns.
#pragma once

#include <windows.h>

#include <cstdint>

#include "connection/connection_record.h"

namespace ferry::agent {

// Writes "<iiSystem>\ingres\files\htbtmpl<installationCode>.def" afresh and points the process
// environment's II_CKTMPL_FILE at it. iiSystem, installationCode and dbName must be set.
int tmplmod_customize_template(ConnectionRecord* ci);

DWORD execOpIngresckpdb(int connectionId, const char* dbName, uint32_t options);

DWORD execOpIngresrollforwarddb(int connectionId, const char* dbName, const char* checkpointId,
                                uint32_t options, const char* endTime);

}  // namespace ferry::agent
