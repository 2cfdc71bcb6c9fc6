// --json: what a command would print is gathered into one JSON document, written on standard
// output when the command ends, failures included (the schema is in the README):
//
//   {"command", "exitCode", "outcome", "result", "messages", "error"}
//
// While a report is active, printLine() keeps standard output for the document alone: lines
// meant for standard output are dropped (the command puts their content into the result), and
// lines meant for standard error become the document's messages. A command's whole run is on
// one thread, as the console's commands are.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "core/exit_code.h"
#include "core/json.h"

namespace ferry::ctl {

// Starts the report of `command` ("info", "verify", ...; "" when the command line named none).
void startJsonReport(const std::string& command);
bool jsonReportActive();

// The command's result object (null until the command sets it).
Json& jsonResult();

// A line the console prints, as printLine() hands it over: to standard error when `error`.
void jsonLine(bool error, const std::string& line);
// The agent's failure of `call` with its code and text; its line follows through jsonLine.
void jsonAgentFailure(const std::string& call, uint32_t code, const std::string& text);
// A Windows error behind the failure whose line follows.
void jsonSystemError(DWORD error);

// Writes the document on standard output and returns the exit code as a number.
int finishJsonReport(ExitCode code);

// "success", "agent-error", "usage", "agent-library", "archive", "mismatch".
const char* outcomeName(ExitCode code);

// ANSI text (the system's code page) as UTF-16, for the document's \u escapes.
std::u16string ansiToUtf16(std::string_view bytes);

}  // namespace ferry::ctl
