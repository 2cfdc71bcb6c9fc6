// The agent's checkpoint template: its file name, the extractor pipe name written into it, and
// its 48 lines, byte for byte as the Ingres checkpoint and roll-forward utilities read them.
//
// Conventions:
// - Platform-free: no windows.h; the Win32 shell writes the text and sets II_CKTMPL_FILE.
// - Builders write NUL-terminated text into caller-owned buffers of `size` bytes and return
//   false, with the buffer set to "", when the result would not fit: a cut pipe name or path
//   would send the utility or siphon to the wrong place, so nothing is ever truncated.
// - No exceptions.
#pragma once

#include <cstddef>
#include <string>

namespace ferry::agent {

// The buffers the utility driver builds its names in, NUL included.
inline constexpr size_t kExtractorPipeNameSize = 64;
inline constexpr size_t kUtilityPathSize = 260;
inline constexpr size_t kUtilityCommandLineSize = 256;

// The fixed front of every extractor pipe name; siphon reads the installation code right
// behind it.
inline constexpr char kExtractorPipePrefix[] = "\\\\.\\pipe\\TID";

// "\\.\pipe\TID" + installation code + database name, with no separators.
bool buildExtractorPipeName(const char* installationCode, const char* dbName, char* out,
                            size_t size);

// "<iiSystem>\ingres\files\htbtmpl<installationCode>.def".
bool buildTemplatePath(const char* iiSystem, const char* installationCode, char* out, size_t size);

// Number of lines of the template and the line (1-based) after which the shell obtains the
// short agent directory that the siphon lines need.
inline constexpr int kTemplateLineCount = 48;
inline constexpr int kTemplateLinesBeforeSiphon = 19;

// Line `number` (1 to 48) of the template with its CR LF ending; the siphon lines carry
// `agentDirectory` (its short form, so the command needs no quotes) and `pipeName`. Empty for a
// number outside 1 to 48.
std::string checkpointTemplateLine(int number, const char* agentDirectory, const char* pipeName);

// All 48 lines, in order.
std::string checkpointTemplateText(const char* agentDirectory, const char* pipeName);

}  // namespace ferry::agent
