#include "core/object_names.h"
#include "core/ascii_text.h"

namespace ferry::agent {
namespace {

constexpr std::string_view kJournalPrefix = "~JOURNAL OF DATABASE";
// The prefix and the one separator character that follows it.
constexpr size_t kJournalNameOffset = 21;

ObjectName withDatabase(ObjectType type, std::string_view dbName) {
  ObjectName result;
  if (dbName.empty() || dbName.size() > kMaxDatabaseName) return result;
  result.type = type;
  result.dbName = dbName;
  return result;
}

// "~JOURNAL OF DATABASE", one separator character and at least one character of the name.
ObjectName journalName(std::string_view name) {
  if (!name.starts_with(kJournalPrefix) || name.size() <= kJournalNameOffset) return {};
  return withDatabase(ObjectType::Journal, name.substr(kJournalNameOffset));
}

ObjectName backupName(std::string_view name) {
  const size_t dot = name.find('.');
  if (dot != std::string_view::npos) {
    const std::string_view suffix = name.substr(dot);
    if (equalsIgnoringCase(suffix, kDataSuffix)) {
      return withDatabase(ObjectType::Data, name.substr(0, dot));
    }
    if (equalsIgnoringCase(suffix, kConfigSuffix)) {
      return withDatabase(ObjectType::Config, name.substr(0, dot));
    }
  }
  return journalName(name);
}

ObjectName restoreName(std::string_view name) {
  const size_t dot = name.find('.');
  if (dot == std::string_view::npos) return journalName(name);
  const std::string_view suffix = name.substr(dot);
  if (startsWithIgnoringCase(suffix, kDataSuffix)) {
    return withDatabase(ObjectType::Data, name.substr(0, dot));
  }
  if (startsWithIgnoringCase(suffix, kConfigSuffix.substr(0, 6))) {
    return withDatabase(ObjectType::Config, name.substr(0, dot));
  }
  const size_t slash = name.rfind('\\');
  if (slash != std::string_view::npos) {
    ObjectName journal = journalName(name.substr(slash + 1));
    if (journal.type != ObjectType::None) return journal;
  }
  ObjectName unknown;
  unknown.dottedUnknown = true;
  return unknown;
}

ObjectName catalogueName(std::string_view name) {
  if (name.starts_with(kJournalPrefix)) return journalName(name);
  const size_t dot = name.find('.');
  const bool config = dot != std::string_view::npos && name.substr(dot + 1) == "~CONFIG";
  return withDatabase(config ? ObjectType::Config : ObjectType::Data, name.substr(0, dot));
}

}  // namespace

ObjectName classifyObjectName(std::string_view name, NameRule rule) {
  switch (rule) {
    case NameRule::Backup:
      return backupName(name);
    case NameRule::Restore:
      return restoreName(name);
    case NameRule::Catalogue:
      return catalogueName(name);
  }
  return {};
}

}  // namespace ferry::agent
