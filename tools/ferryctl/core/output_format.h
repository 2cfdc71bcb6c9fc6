// The lines the console prints, and the reading of the texts the agent writes into the
// console's buffers.
//
// Conventions: platform-free; no exceptions; every line is returned without its newline.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ferry::ctl {

// Result codes above this are Windows system error (code - base); up to it, the agent's own.
inline constexpr uint32_t kSystemErrorBase = 10000;
// DSAGetError's buffer sizes: the agent's texts fit 256 bytes, system texts 1300.
inline constexpr size_t kAgentTextBufferSize = 256;
inline constexpr size_t kSystemTextBufferSize = 1300;

inline bool isSystemCode(uint32_t code) { return code > kSystemErrorBase; }

// An agent text: `length` bytes as the agent reported them, but never past the buffer nor past
// a NUL, since a length the agent got wrong must not make the console read foreign bytes.
std::string agentTextFromBuffer(const char* buffer, size_t bufferSize, uint32_t length);

// A system text: up to the first NUL within the buffer, without the trailing line break and
// blanks that the system message table ends its texts with.
std::string systemTextFromBuffer(const char* buffer, size_t bufferSize);

// Trailing CR, LF, blanks and tabs removed.
std::string trimTrailingSpace(std::string_view text);

// "18: <text>"; an empty text shows as "(no text)" so that the line never ends in ": ".
std::string codeAndText(uint32_t code, std::string_view text);

std::string connectedLine(uint32_t connectionId);

// "cannot load agent library PATH: error E: TEXT"
std::string loadFailureLine(std::string_view path, uint32_t systemError,
                            std::string_view systemText);

// "agent library PATH lacks entry point NAME: error E: TEXT"
std::string missingEntryPointLine(std::string_view path, std::string_view entryPoint,
                                  uint32_t systemError, std::string_view systemText);

// The file `fileName` in the folder of `programPath` (either separator ends the folder); just
// `fileName` when the path has no folder.
std::string besideProgram(std::string_view programPath, std::string_view fileName);

// Mebibytes per second; 0 when no time passed.
double mibPerSecond(uint64_t bytes, double seconds);

// "12.3 MiB, 4 files, 56.7 MiB/s": the progress of a backup or restore so far.
std::string progressLine(uint64_t bytes, uint64_t files, double seconds);

// "saved NAME: 3 files, 1049600 bytes" (one line per object after a backup).
std::string savedObjectLine(std::string_view verb, std::string_view name, uint64_t files,
                            uint64_t bytes);

}  // namespace ferry::ctl
