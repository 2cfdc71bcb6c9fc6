// The point in time of a restore (restore --as-of "YYYY-MM-DD HH:MM:SS"): the local time at
// which the roll forward of the database data stops applying journal records.
//
// Conventions: platform-free; no exceptions. Turning a local time into seconds since 1970 needs
// the system's time zone and is the caller's (the agent turns the seconds back into local time
// with the same C runtime).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ferry::ctl {

struct LocalTime {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  bool operator==(const LocalTime&) const = default;
};

// "YYYY-MM-DD HH:MM:SS" with every digit, a date of the calendar from 1970 to 3000 and a time of
// day; nothing else.
std::optional<LocalTime> parseLocalTime(std::string_view text);

// The same form back.
std::string localTimeText(const LocalTime& time);

// Seconds since 1970 (UTC) of the first whole second at or after a Windows file time (100 ns
// units since 1601, UTC); a file time before 1970 gives 0.
int64_t firstSecondAtOrAfter(uint64_t fileTime);

}  // namespace ferry::ctl
