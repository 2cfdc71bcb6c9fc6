// The setup's trace lines and its texts: each line goes to the installer log (when a custom
// action runs) and to the setup log; texts come from rigger's string table.
#pragma once

#include <windows.h>

#include <msi.h>

#include <string>

namespace ferry::setup {

// printf-style; the line is cut at 2047 characters. `install` 0: the setup log only.
void setupTrace(MSIHANDLE install, const char* format, ...) __attribute__((format(printf, 2, 3)));

// String `id` of rigger's table ("" when it has none).
std::string messageText(UINT id);

HMODULE riggerModule();
// The folder rigger.dll was loaded from, without trailing backslash.
std::string riggerFolder();

// An installer property ("" when unset or unreadable).
std::string property(MSIHANDLE install, const char* name);
void setProperty(MSIHANDLE install, const char* name, const std::string& value);

// Copies `text` into a fixed field; false (field emptied) when it does not fit.
bool copyField(char* field, size_t size, const std::string& text);

}  // namespace ferry::setup
