#include "core/point_in_time.h"

#include <cstdio>

namespace ferry::ctl {
namespace {

constexpr uint64_t kFileTimeOf1970 = 116444736000000000ull;
constexpr uint64_t kFileTimeUnitsPerSecond = 10000000ull;

bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

}  // namespace

std::optional<LocalTime> parseLocalTime(std::string_view text) {
  constexpr std::string_view kForm = "0000-00-00 00:00:00";
  if (text.size() != kForm.size()) return std::nullopt;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kForm[i] == '0' ? !digit : text[i] != kForm[i]) return std::nullopt;
  }
  auto number = [&](size_t at, size_t digits) {
    int value = 0;
    for (size_t i = 0; i < digits; ++i) value = value * 10 + (text[at + i] - '0');
    return value;
  };
  LocalTime t{number(0, 4),  number(5, 2),  number(8, 2),
              number(11, 2), number(14, 2), number(17, 2)};
  if (t.year < 1970 || t.year > 3000 || t.month < 1 || t.month > 12 || t.day < 1 ||
      t.day > daysInMonth(t.year, t.month) || t.hour > 23 || t.minute > 59 || t.second > 59) {
    return std::nullopt;
  }
  return t;
}

std::string localTimeText(const LocalTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return text;
}

int64_t firstSecondAtOrAfter(uint64_t fileTime) {
  if (fileTime <= kFileTimeOf1970) return 0;
  const uint64_t units = fileTime - kFileTimeOf1970;
  return static_cast<int64_t>((units + kFileTimeUnitsPerSecond - 1) / kFileTimeUnitsPerSecond);
}

}  // namespace ferry::ctl
