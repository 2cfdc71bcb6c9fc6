// The fields that the console's JSON documents share between commands (the README has the
// whole schema): the agent information record, an object's kind, a time.
//
// Conventions: platform-free; no exceptions.
#pragma once

#include <cstdint>
#include <string>

#include "core/archive_format.h"
#include "core/catalogue_view.h"
#include "core/json.h"

namespace ferry::ctl {

// {"vendorName", "buildNumber", "vendorVersion", "agentVersion", "libraryDate"}
Json agentInfoJson(const AgentInfo& info);

// "data", "configuration", "journals".
const char* objectKindWord(archive::ObjectKind kind);

// A Windows file time (100 ns since 1601, UTC) as "2026-01-05T10:00:03Z" (whole seconds,
// rounded down); "" for 0.
std::string utcTimeText(uint64_t fileTime);

}  // namespace ferry::ctl
