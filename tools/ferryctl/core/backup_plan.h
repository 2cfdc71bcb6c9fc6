// Which objects a backup takes, in which order, on which connection; and the order a restore
// replays them in.
//
// The agent's object names: "<db>.DATA" (database data; the suffix's case is ignored),
// "<db>.~CONFIG" (configuration and dump files) and "~JOURNAL OF DATABASE <db>" (journal files).
// A configuration backup carries the checkpoint number of the data backup that ran before it on
// the same connection, so the objects of one database share one connection, in catalogue
// order: data, configuration, journals.
//
// Conventions: platform-free; no exceptions; nothing here prints.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/archive_format.h"

namespace ferry::ctl {

using archive::ObjectKind;

inline constexpr std::string_view kJournalPrefix = "~JOURNAL OF DATABASE ";

struct ObjectName {
  ObjectKind kind = ObjectKind::kData;
  std::string database;
};

// The kind and database of an object name; nullopt for a name of none of the three forms.
std::optional<ObjectName> classifyObjectName(std::string_view name);

// A database name as the console accepts it: 1 to 32 characters, no '.', no blank, no NUL.
bool validDatabaseName(std::string_view name, std::string* error);

std::string dataObjectName(std::string_view database);
std::string configurationObjectName(std::string_view database);
std::string journalObjectName(std::string_view database);

// The objects of one connection, in the order they are backed up.
struct ConnectionPlan {
  std::string database;
  std::vector<std::string> objects;
};

// The named objects grouped by database, the databases in the order first named, each group
// in catalogue order. nullopt (with the message) for a name of none of the forms or a name
// given twice.
std::optional<std::vector<ConnectionPlan>> planBackup(std::span<const std::string> objects,
                                                      std::string* error);

// The objects of `database` in the agent's object list, in catalogue order (the list's own
// order is not relied on). Empty when the list has none of them.
std::vector<std::string> databaseObjects(std::span<const std::string> catalogue,
                                         std::string_view database);

// The positions of `objects` in the order a restore replays them: for each database, in the
// order first met, its journals, its configuration, then its data (the data's roll-forward
// needs the others in place); objects of one kind keep their archive order.
std::vector<size_t> restoreOrder(std::span<const archive::ObjectInfo> objects);

}  // namespace ferry::ctl
