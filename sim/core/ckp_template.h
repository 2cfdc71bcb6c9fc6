// How the checkpoint and roll-forward utilities read and run a checkpoint template, without
// Win32: the template's lines and their codes, the choice of the line for a step, the filling of
// the %-codes, and the splitting of a command into the parts that are echoed or run.
//
// A template line is a four-letter code, a colon and the command, which starts right after the
// colon (the blanks and TAB there fall away with the leading characters of each part, see
// splitCommand). Lines of any other form (blank lines, notes) are not template lines and are
// passed over.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ingsim::core {

struct TemplateLine {
  std::string code;     // four letters, as written
  std::string command;  // everything after the colon; line end removed
  int lineNumber = 0;   // 1-based, for messages
};

// Every template line of `text`, in file order. CR LF and LF line ends are both taken.
std::vector<TemplateLine> parseTemplate(std::string_view text);

// One line (without its line end); false when it is not a template line.
bool parseTemplateLine(std::string_view line, TemplateLine* out);

// Whether a line's code serves the step `wanted`: the first letter must be equal; an 'E' in the
// line's second, third or fourth letter matches any letter there.
bool codeMatches(std::string_view lineCode, std::string_view wanted);

// The line run for step `wanted`: a line whose code is exactly `wanted` when there is one (so
// that the end-of-device line EEDE does not take the place of ERDD), else the first line whose
// code matches it; nullptr when none does.
const TemplateLine* findStepLine(const std::vector<TemplateLine>& lines, std::string_view wanted);

// The values that the %-codes stand for in one step.
struct CodeValues {
  int locationCount = 0;       // %N
  int locationNumber = 0;      // %C: 1-based; 0 in the begin and end steps
  std::string directory;       // %D: the location's database folder; "" outside a location
  std::string checkpointFile;  // %F: the checkpoint file name; "" outside a location
  std::string table;           // %X: "" for whole-database work
};

// `command` with %N, %C, %D, %F and %X replaced; "%%" gives one '%'; any other '%' stays.
std::string substituteCodes(std::string_view command, const CodeValues& values);

// The parts of a command: split at each '&' that is not inside double quotes; each part without
// the leading characters that are neither letters nor digits and without trailing blanks, TABs
// and line-end characters. Parts that end up empty are dropped.
std::vector<std::string> splitCommand(std::string_view command);

// A part beginning "echo " is printed (the text after it) instead of run.
bool isEchoPart(std::string_view part, std::string* text);

// Shell built-ins that exist only inside the command interpreter and so are run through it.
bool isShellBuiltin(std::string_view part);

// The checkpoint file name of checkpoint `checkpoint` and location `location` (both from 1):
// "c" + 4 digits + 3 digits + ".ckp", e.g. c0004001.ckp. "" when either is out of range.
std::string checkpointFileName(int checkpoint, int location);

// The checkpoint number of a checkpoint file name, or -1 when `name` is not one.
int checkpointNumberOfFile(std::string_view name);

}  // namespace ingsim::core
