// Ingres' rules for database names and installation codes, and their use on object names.
#include "core/ingres_names.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace ferry::agent {
namespace {

TEST(IngresNames, DatabaseNames) {
  for (const char* name : {"iidbdb", "a", "Sales_2024", "x#1", "o@home", "pay$roll", "Z9"}) {
    EXPECT_TRUE(isIngresDatabaseName(name)) << "'" << name << "'";
  }
  for (const char* name : {"", "_sales", "9lives", "#x", "a b", "a.b", "a-b", "..", "\\..\\x",
                           "a\\b", "a/b", "a:b", "a\"b", "a'b", "a%b", "a\tb", "caf\xe9"}) {
    EXPECT_FALSE(isIngresDatabaseName(name)) << "'" << name << "'";
  }
  const std::string longest(kIngresDatabaseNameMax, 'd');
  EXPECT_TRUE(isIngresDatabaseName(longest));
  EXPECT_FALSE(isIngresDatabaseName(longest + "d")) << "33 characters";
  EXPECT_FALSE(isIngresDatabaseName(std::string_view("ab\0cd", 5))) << "an embedded NUL";
}

TEST(IngresNames, InstallationCodes) {
  for (const char* code : {"II", "A2", "zz", "Z9"}) {
    EXPECT_TRUE(isInstallationCode(code)) << "'" << code << "'";
  }
  for (const char* code : {"", "I", "III", "2A", "I_", "I.", ".\\", "I\\", " I", "\xc9I"}) {
    EXPECT_FALSE(isInstallationCode(code)) << "'" << code << "'";
  }
  // One spelling, whatever the case it came in; only ASCII letters change.
  for (const auto& [given, spelt] : {std::pair<std::string, std::string>{"hp", "HP"},
                                     {"Hp", "HP"},
                                     {"hP", "HP"},
                                     {"II", "II"},
                                     {"z9", "Z9"},
                                     {"az", "AZ"},
                                     {"`{", "`{"},
                                     {"\xe9i", "\xe9I"},
                                     {"", ""}}) {
    std::string code = given + '\0' + "xx";  // the characters after the NUL stay untouched
    spellInstallationCode(code.data());
    EXPECT_EQ(code, spelt + '\0' + "xx") << "'" << given << "'";
  }
}

TEST(IngresNames, ObjectNamesCarryOnlyValidDatabases) {
  struct Case {
    const char* name;
    bool backup;
    bool restore;
    bool catalogue;
  };
  const Case cases[] = {
      {"mydb.DATA", true, true, true},
      {"~JOURNAL OF DATABASE mydb", true, true, true},
      // Restore: a name with a '.' of no dotted form names no database at all.
      {"~JOURNAL OF DATABASE \\..\\x", false, true, false},
      {"~JOURNAL OF DATABASE ..", false, true, false},
      {"~JOURNAL OF DATABASE a b", false, false, false},
      {"a\\b.DATA", false, false, false},
      {"x.y\\~JOURNAL OF DATABASE a b", true, false, true},  // backup: no form; catalogue: "x"
      {"~journal of database mydb", true, true, false},      // catalogue: data of a blank name
      {"mydb.XYZ", true, true, true},                        // no database for the first two
      {"", true, true, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(objectDatabaseNameAllowed(c.name, NameRule::Backup), c.backup) << c.name;
    EXPECT_EQ(objectDatabaseNameAllowed(c.name, NameRule::Restore), c.restore) << c.name;
    EXPECT_EQ(objectDatabaseNameAllowed(c.name, NameRule::Catalogue), c.catalogue) << c.name;
  }
  const std::string longest(kIngresDatabaseNameMax, 'd');
  EXPECT_TRUE(objectDatabaseNameAllowed(longest + ".DATA", NameRule::Backup));
  EXPECT_FALSE(objectDatabaseNameAllowed(longest + "d.DATA", NameRule::Backup))
      << "a name the record could hold but Ingres would not";
}

}  // namespace
}  // namespace ferry::agent
