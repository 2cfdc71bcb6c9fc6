#include "core/json_fields.h"

#include <cstdio>

namespace ferry::ctl {

Json agentInfoJson(const AgentInfo& info) {
  return Json::object()
      .set("vendorName", info.vendorName)
      .set("buildNumber", info.buildNumber)
      .set("vendorVersion", info.vendorVersion)
      .set("agentVersion", info.agentVersion)
      .set("libraryDate", info.libraryDate);
}

const char* objectKindWord(archive::ObjectKind kind) {
  switch (kind) {
    case archive::ObjectKind::kData:
      return "data";
    case archive::ObjectKind::kJournal:
      return "journals";
    case archive::ObjectKind::kConfiguration:
      return "configuration";
  }
  return "unknown";
}

std::string utcTimeText(uint64_t fileTime) {
  if (fileTime == 0) return "";
  const uint64_t seconds = fileTime / 10000000u;
  const uint64_t days = seconds / 86400;  // since 1 Jan 1601, a Monday of a 400-year cycle
  const uint64_t secondOfDay = seconds % 86400;
  // The civil date of a day count, by 400-, 100-, 4- and 1-year cycles from 1601.
  uint64_t day = days;
  const uint64_t cycles400 = day / 146097;
  day %= 146097;
  const uint64_t cycles100 = day / 36524 == 4 ? 3 : day / 36524;
  day -= cycles100 * 36524;
  const uint64_t cycles4 = day / 1461;
  day %= 1461;
  const uint64_t years = day / 365 == 4 ? 3 : day / 365;
  day -= years * 365;
  const uint64_t year = 1601 + cycles400 * 400 + cycles100 * 100 + cycles4 * 4 + years;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  const int monthDays[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int month = 0;
  while (day >= static_cast<uint64_t>(monthDays[month])) day -= monthDays[month++];
  char text[32];
  std::snprintf(text, sizeof text, "%04llu-%02d-%02lluT%02llu:%02llu:%02lluZ",
                static_cast<unsigned long long>(year), month + 1,
                static_cast<unsigned long long>(day + 1),
                static_cast<unsigned long long>(secondOfDay / 3600),
                static_cast<unsigned long long>(secondOfDay / 60 % 60),
                static_cast<unsigned long long>(secondOfDay % 60));
  return text;
}

}  // namespace ferry::ctl
