#include "core/ckp_template.h"

#include <cstdio>

namespace ingsim::core {
namespace {

bool isAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }
bool isTrailingBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

char lowered(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool parseTemplateLine(std::string_view line, TemplateLine* out) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  if (line.size() < 5 || line[4] != ':') return false;
  for (size_t i = 0; i < 4; ++i) {
    if (!isAsciiLetter(line[i])) return false;
  }
  out->code = std::string(line.substr(0, 4));
  out->command = std::string(line.substr(5));
  return true;
}

std::vector<TemplateLine> parseTemplate(std::string_view text) {
  std::vector<TemplateLine> lines;
  int number = 0;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++number;
    TemplateLine parsed;
    if (parseTemplateLine(line, &parsed)) {
      parsed.lineNumber = number;
      lines.push_back(std::move(parsed));
    }
  }
  return lines;
}

bool codeMatches(std::string_view lineCode, std::string_view wanted) {
  if (lineCode.size() != 4 || wanted.size() != 4) return false;
  if (lineCode[0] != wanted[0]) return false;
  for (size_t i = 1; i < 4; ++i) {
    if (lineCode[i] != 'E' && lineCode[i] != wanted[i]) return false;
  }
  return true;
}

const TemplateLine* findStepLine(const std::vector<TemplateLine>& lines, std::string_view wanted) {
  for (const TemplateLine& line : lines) {
    if (line.code == wanted) return &line;
  }
  for (const TemplateLine& line : lines) {
    if (codeMatches(line.code, wanted)) return &line;
  }
  return nullptr;
}

std::string substituteCodes(std::string_view command, const CodeValues& values) {
  std::string out;
  out.reserve(command.size() + 64);
  for (size_t i = 0; i < command.size(); ++i) {
    if (command[i] != '%' || i + 1 == command.size()) {
      out.push_back(command[i]);
      continue;
    }
    switch (command[i + 1]) {
      case 'N':
        out += std::to_string(values.locationCount);
        break;
      case 'C':
        out += std::to_string(values.locationNumber);
        break;
      case 'D':
        out += values.directory;
        break;
      case 'F':
        out += values.checkpointFile;
        break;
      case 'X':
        out += values.table;
        break;
      case '%':
        out.push_back('%');
        break;
      default:
        out.push_back('%');
        continue;  // not a code: the next character is kept as is
    }
    ++i;
  }
  return out;
}

std::vector<std::string> splitCommand(std::string_view command) {
  std::vector<std::string> parts;
  auto finish = [&parts](std::string_view part) {
    size_t start = 0;
    while (start < part.size() && !isAsciiLetter(part[start]) && !isAsciiDigit(part[start])) {
      ++start;
    }
    part.remove_prefix(start);
    while (!part.empty() && isTrailingBlank(part.back())) part.remove_suffix(1);
    if (!part.empty()) parts.emplace_back(part);
  };
  bool quoted = false;
  size_t begin = 0;
  for (size_t i = 0; i < command.size(); ++i) {
    if (command[i] == '"') {
      quoted = !quoted;
    } else if (command[i] == '&' && !quoted) {
      finish(command.substr(begin, i - begin));
      begin = i + 1;
    }
  }
  finish(command.substr(begin));
  return parts;
}

bool isEchoPart(std::string_view part, std::string* text) {
  if (part.size() < 5) return false;
  for (size_t i = 0; i < 4; ++i) {
    if (lowered(part[i]) != "echo"[i]) return false;
  }
  if (part[4] != ' ') return false;
  *text = std::string(part.substr(5));
  return true;
}

bool isShellBuiltin(std::string_view part) {
  size_t end = 0;
  while (end < part.size() && isAsciiLetter(part[end])) ++end;
  if (end < part.size() && part[end] != ' ' && part[end] != '\t') return false;
  std::string word;
  for (size_t i = 0; i < end; ++i) word.push_back(lowered(part[i]));
  static const char* const kBuiltins[] = {
      "assoc", "call",  "cd",    "chdir", "cls",  "copy",   "date",  "del",    "dir",   "echo",
      "erase", "md",    "mkdir", "move",  "path", "rd",     "ren",   "rename", "rmdir", "set",
      "time",  "title", "type",  "ver",   "vol",  "mklink", "pushd", "popd"};
  for (const char* builtin : kBuiltins) {
    if (word == builtin) return true;
  }
  return false;
}

std::string checkpointFileName(int checkpoint, int location) {
  if (checkpoint < 0 || checkpoint > 9999 || location < 1 || location > 999) return "";
  char name[16];
  std::snprintf(name, sizeof name, "c%04d%03d.ckp", checkpoint, location);
  return name;
}

int checkpointNumberOfFile(std::string_view name) {
  if (name.size() != 12 || lowered(name[0]) != 'c') return -1;
  for (size_t i = 1; i < 8; ++i) {
    if (!isAsciiDigit(name[i])) return -1;
  }
  std::string_view suffix = name.substr(8);
  for (size_t i = 0; i < 4; ++i) {
    if (lowered(suffix[i]) != ".ckp"[i]) return -1;
  }
  int number = 0;
  for (size_t i = 1; i < 5; ++i) number = number * 10 + (name[i] - '0');
  return number;
}

}  // namespace ingsim::core
