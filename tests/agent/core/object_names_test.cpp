// One classifier of object names, with the rule of each of its three users.
#include "core/object_names.h"

#include <gtest/gtest.h>

#include <string>

namespace ferry::agent {
namespace {

// "D:db", "C:db", "J:db" for a kind and its database; "-" no kind; "?" no kind, dotted.
std::string shown(std::string_view name, NameRule rule) {
  const ObjectName object = classifyObjectName(name, rule);
  switch (object.type) {
    case ObjectType::Data:
      return "D:" + std::string(object.dbName);
    case ObjectType::Config:
      return "C:" + std::string(object.dbName);
    case ObjectType::Journal:
      return "J:" + std::string(object.dbName);
    case ObjectType::ConfigAlias:
      return "alias:" + std::string(object.dbName);  // never classified so
    case ObjectType::None:
      break;
  }
  return object.dottedUnknown ? "?" : "-";
}

TEST(ObjectNames, EachUserKeepsItsRule) {
  struct Case {
    const char* name;
    const char* backup;
    const char* restore;
    const char* catalogue;
  };
  const Case cases[] = {
      {"mydb.DATA", "D:mydb", "D:mydb", "D:mydb"},
      {"mydb.data", "D:mydb", "D:mydb", "D:mydb"},
      {"mydb.~CONFIG", "C:mydb", "C:mydb", "C:mydb"},
      {"mydb.~config", "C:mydb", "C:mydb", "D:mydb"},
      {"mydb.~CONF", "-", "C:mydb", "D:mydb"},
      {"mydb.~CON", "-", "?", "D:mydb"},
      {"db.~CONFIGX", "-", "C:db", "D:db"},
      {"mydb.DATA.old", "-", "D:mydb", "D:mydb"},
      {"mydb.XYZ", "-", "?", "D:mydb"},
      {"mydb", "-", "-", "D:mydb"},
      {"~JOURNAL OF DATABASE mydb", "J:mydb", "J:mydb", "J:mydb"},
      {"~journal of database mydb", "-", "-", "D:~journal of database mydb"},
      {"x.y\\~JOURNAL OF DATABASE mydb", "-", "J:mydb", "D:x"},
      {"~JOURNAL OF DATABASE ", "-", "-", "-"},
      {"~JOURNAL OF DATABASE a.DATA", "D:~JOURNAL OF DATABASE a", "D:~JOURNAL OF DATABASE a",
       "J:a.DATA"},
      {".DATA", "-", "-", "-"},
      {"", "-", "-", "-"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(shown(c.name, NameRule::Backup), c.backup) << "backup of '" << c.name << "'";
    EXPECT_EQ(shown(c.name, NameRule::Restore), c.restore) << "restore of '" << c.name << "'";
    EXPECT_EQ(shown(c.name, NameRule::Catalogue), c.catalogue) << "catalogue of '" << c.name << "'";
  }
  {
    SCOPED_TRACE("database names up to the record's 255 characters, never cut");
    const std::string longest(kMaxDatabaseName, 'd');
    for (NameRule rule : {NameRule::Backup, NameRule::Restore, NameRule::Catalogue}) {
      EXPECT_EQ(shown(longest + ".DATA", rule), "D:" + longest);
      EXPECT_EQ(shown(longest + "d.DATA", rule).substr(0, 1), "-");
      EXPECT_EQ(shown("~JOURNAL OF DATABASE " + longest + "d", rule), "-");
    }
  }
}

}  // namespace
}  // namespace ferry::agent
