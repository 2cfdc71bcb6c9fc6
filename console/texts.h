// The snap-in's texts: its string table, and the conversions between the shell's ANSI texts and
// the console's UTF-16.
#pragma once

#include <objbase.h>
#include <windows.h>

#include <string>

namespace lookout {

// A string of the library's table, whole (empty when the id has none).
std::wstring loadText(UINT id);
// The same as ANSI text, for the Start-menu folder names that make ANSI paths.
std::string loadAnsiText(UINT id);

// ANSI (the process's code page) to UTF-16.
std::wstring widen(const char* text);

// A copy in task memory, as interfaces hand strings that the caller frees with CoTaskMemFree.
// *out is null on failure.
HRESULT taskMemoryCopy(const std::wstring& text, LPOLESTR* out);

}  // namespace lookout
