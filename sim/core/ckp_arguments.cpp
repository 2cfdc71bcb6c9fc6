#include "core/ckp_arguments.h"

#include <cctype>

namespace ingsim::core {
namespace {

// Reads 1..maxDigits digits at *pos; false when there is none.
bool readNumber(const std::string& text, size_t* pos, size_t maxDigits, int* value) {
  size_t start = *pos;
  int number = 0;
  while (*pos < text.size() && *pos - start < maxDigits &&
         std::isdigit(static_cast<unsigned char>(text[*pos]))) {
    number = number * 10 + (text[*pos] - '0');
    ++*pos;
  }
  *value = number;
  return *pos > start;
}

bool expect(const std::string& text, size_t* pos, char c) {
  if (*pos >= text.size() || text[*pos] != c) return false;
  ++*pos;
  return true;
}

bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

}  // namespace

bool parseEndTime(const std::string& text, EndTime* out) {
  static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                        "jul", "aug", "sep", "oct", "nov", "dec"};
  EndTime t;
  size_t pos = 0;
  if (!readNumber(text, &pos, 2, &t.day) || !expect(text, &pos, '-')) return false;
  if (pos + 3 > text.size()) return false;
  std::string month;
  for (size_t i = 0; i < 3; ++i) {
    month.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(text[pos + i]))));
  }
  pos += 3;
  for (int m = 0; m < 12; ++m) {
    if (month == kMonths[m]) t.month = m + 1;
  }
  if (t.month == 0 || !expect(text, &pos, '-')) return false;
  size_t yearStart = pos;
  if (!readNumber(text, &pos, 4, &t.year) || pos - yearStart != 4) return false;
  if (!expect(text, &pos, ':') || !readNumber(text, &pos, 2, &t.hour) || !expect(text, &pos, ':') ||
      !readNumber(text, &pos, 2, &t.minute) || !expect(text, &pos, ':') ||
      !readNumber(text, &pos, 2, &t.second) || pos != text.size()) {
    return false;
  }
  if (!validCalendarTime(t)) return false;
  *out = t;
  return true;
}

bool validCalendarTime(const EndTime& t) {
  return t.year >= 1970 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
         t.day <= daysInMonth(t.year, t.month) && t.hour >= 0 && t.hour <= 23 && t.minute >= 0 &&
         t.minute <= 59 && t.second >= 0 && t.second <= 59;
}

std::string parseCkpArguments(CkpProgram program, const std::vector<std::string>& arguments,
                              CkpArguments* out, std::string* badFlag) {
  *out = CkpArguments{};
  badFlag->clear();
  const bool rollForward = program == CkpProgram::kRollForward;
  for (const std::string& argument : arguments) {
    if (argument == "-v") {
      out->verbose = true;
    } else if (!rollForward && argument == "-d") {
      out->purgeEarlier = true;
    } else if (rollForward && argument == "-j") {
      out->applyJournals = false;
    } else if (rollForward && argument == "+j") {
      out->applyJournals = true;
    } else if (rollForward && argument.rfind("#c", 0) == 0) {
      const std::string number = argument.substr(2);
      size_t pos = 0;
      int value = 0;
      if (!number.empty() &&
          (!readNumber(number, &pos, 4, &value) || pos != number.size() || value < 1)) {
        *badFlag = argument;
        return "#c takes a checkpoint number from 1 to 9999";
      }
      out->checkpointGiven = true;
      out->checkpoint = value;
    } else if (rollForward && argument.rfind("-e", 0) == 0) {
      out->endTimeText = argument.substr(2);
      if (!parseEndTime(out->endTimeText, &out->endTime)) {
        *badFlag = argument;
        return "-e takes a time of the form dd-mmm-yyyy:hh:mm:ss";
      }
      out->endTimeGiven = true;
    } else if (argument.empty() || argument[0] == '-' || argument[0] == '+' || argument[0] == '#') {
      *badFlag = argument;
      return "unknown flag '" + argument + "'";
    } else if (!out->database.empty()) {
      *badFlag = argument;
      return "more than one database named ('" + out->database + "', '" + argument + "')";
    } else {
      out->database = argument;
    }
  }
  if (out->database.empty()) return "no database named";
  return "";
}

}  // namespace ingsim::core
