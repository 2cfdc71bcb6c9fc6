#include "core/backup_plan.h"

#include <algorithm>

namespace ferry::ctl {
namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
           return lower(x) == lower(y);
         });
}

int catalogueRank(ObjectKind kind) {
  switch (kind) {
    case ObjectKind::kData:
      return 0;
    case ObjectKind::kConfiguration:
      return 1;
    case ObjectKind::kJournal:
      return 2;
  }
  return 3;
}

int restoreRank(ObjectKind kind) {
  switch (kind) {
    case ObjectKind::kJournal:
      return 0;
    case ObjectKind::kConfiguration:
      return 1;
    case ObjectKind::kData:
      return 2;
  }
  return 3;
}

}  // namespace

bool validDatabaseName(std::string_view name, std::string* error) {
  if (name.empty() || name.size() > 32) {
    *error = "database name '" + std::string(name) + "' is not 1 to 32 characters";
    return false;
  }
  if (name.find_first_of(std::string_view(". \t\0", 4)) != std::string_view::npos) {
    *error = "database name '" + std::string(name) + "' holds a '.', a blank or a NUL";
    return false;
  }
  return true;
}

std::optional<ObjectName> classifyObjectName(std::string_view name) {
  std::string error;
  if (name.starts_with(kJournalPrefix)) {
    std::string_view database = name.substr(kJournalPrefix.size());
    if (!validDatabaseName(database, &error)) return std::nullopt;
    return ObjectName{ObjectKind::kJournal, std::string(database)};
  }
  size_t dot = name.find('.');
  if (dot == std::string_view::npos) return std::nullopt;
  std::string_view database = name.substr(0, dot);
  std::string_view suffix = name.substr(dot + 1);
  if (!validDatabaseName(database, &error)) return std::nullopt;
  if (equalsIgnoringCase(suffix, "DATA"))
    return ObjectName{ObjectKind::kData, std::string(database)};
  if (suffix == "~CONFIG") return ObjectName{ObjectKind::kConfiguration, std::string(database)};
  return std::nullopt;
}

std::string dataObjectName(std::string_view database) { return std::string(database) + ".DATA"; }

std::string configurationObjectName(std::string_view database) {
  return std::string(database) + ".~CONFIG";
}

std::string journalObjectName(std::string_view database) {
  return std::string(kJournalPrefix) + std::string(database);
}

std::optional<std::vector<ConnectionPlan>> planBackup(std::span<const std::string> objects,
                                                      std::string* error) {
  std::vector<ConnectionPlan> plans;
  std::vector<std::vector<ObjectKind>> kinds;
  for (const std::string& object : objects) {
    std::optional<ObjectName> named = classifyObjectName(object);
    if (!named) {
      *error = "'" + object +
               "' is not an object name (DB.DATA, DB.~CONFIG or \"~JOURNAL OF DATABASE DB\")";
      return std::nullopt;
    }
    auto plan = std::find_if(plans.begin(), plans.end(), [&](const ConnectionPlan& p) {
      return p.database == named->database;
    });
    if (plan == plans.end()) {
      plans.push_back({named->database, {}});
      kinds.emplace_back();
      plan = plans.end() - 1;
    }
    std::vector<ObjectKind>& planKinds = kinds[static_cast<size_t>(plan - plans.begin())];
    if (std::find(planKinds.begin(), planKinds.end(), named->kind) != planKinds.end()) {
      *error = "object '" + object + "' is named twice";
      return std::nullopt;
    }
    // Insert in catalogue order.
    size_t at = 0;
    while (at < planKinds.size() && catalogueRank(planKinds[at]) < catalogueRank(named->kind)) {
      ++at;
    }
    planKinds.insert(planKinds.begin() + static_cast<std::ptrdiff_t>(at), named->kind);
    plan->objects.insert(plan->objects.begin() + static_cast<std::ptrdiff_t>(at), object);
  }
  return plans;
}

std::vector<std::string> databaseObjects(std::span<const std::string> catalogue,
                                         std::string_view database) {
  std::vector<std::string> found;
  for (ObjectKind kind : {ObjectKind::kData, ObjectKind::kConfiguration, ObjectKind::kJournal}) {
    for (const std::string& object : catalogue) {
      std::optional<ObjectName> named = classifyObjectName(object);
      if (named && named->kind == kind && named->database == database) {
        found.push_back(object);
        break;
      }
    }
  }
  return found;
}

std::vector<size_t> restoreOrder(std::span<const archive::ObjectInfo> objects) {
  std::vector<std::string> databases;
  std::vector<size_t> databaseOf(objects.size());
  for (size_t i = 0; i < objects.size(); ++i) {
    std::optional<ObjectName> named = classifyObjectName(objects[i].name);
    // A name the console cannot read keeps its place as an object of its own.
    std::string database = named ? named->database : "\n" + std::to_string(i);
    auto at = std::find(databases.begin(), databases.end(), database);
    if (at == databases.end()) at = databases.insert(databases.end(), database);
    databaseOf[i] = static_cast<size_t>(at - databases.begin());
  }
  std::vector<size_t> order(objects.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    if (databaseOf[a] != databaseOf[b]) return databaseOf[a] < databaseOf[b];
    return restoreRank(objects[a].kind) < restoreRank(objects[b].kind);
  });
  return order;
}

}  // namespace ferry::ctl
