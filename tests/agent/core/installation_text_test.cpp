// The readers of ingprenv, infodb, install.log and config.dat output with exact texts, and the
// bounds of every copy they make.
#include "core/installation_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace ferry::agent {
namespace {

constexpr char kGuard = static_cast<char>(0xbd);

TEST(InstallationText, VariableLinesSplitAtTheFirstEquals) {
  char name[kVariableTextSize];
  char value[kVariableTextSize];
  {
    SCOPED_TRACE("value ends in a newline");
    ASSERT_TRUE(parseVariableLine("II_DATABASE=C:\\ing\n", name, sizeof name, value, sizeof value));
    EXPECT_STREQ(name, "II_DATABASE") << name;
    EXPECT_STREQ(value, "C:\\ing") << value;
  }
  {
    SCOPED_TRACE("a further '=' stays in the value");
    ASSERT_TRUE(parseVariableLine("II_OPT=a=b=c\n", name, sizeof name, value, sizeof value));
    EXPECT_STREQ(name, "II_OPT") << name;
    EXPECT_STREQ(value, "a=b=c") << value;
  }
  {
    SCOPED_TRACE("a last line without newline loses its last character");
    ASSERT_TRUE(parseVariableLine("II_LAST=value", name, sizeof name, value, sizeof value));
    EXPECT_STREQ(value, "valu") << value;
  }
  {
    SCOPED_TRACE("empty value");
    ASSERT_TRUE(parseVariableLine("II_EMPTY=\n", name, sizeof name, value, sizeof value));
    EXPECT_STREQ(value, "") << value;
  }
  {
    SCOPED_TRACE("no '=' or empty line");
    std::strcpy(name, "untouched");
    EXPECT_FALSE(parseVariableLine("no separator\n", name, sizeof name, value, sizeof value));
    EXPECT_FALSE(parseVariableLine("", name, sizeof name, value, sizeof value));
    EXPECT_STREQ(name, "untouched") << name;
  }
}

TEST(InstallationText, VariableCopiesStopAtTheirBuffers) {
  const std::string line = std::string(300, 'N') + "=" + std::string(300, 'V') + "\n";
  char name[17];
  char value[9];
  char guard[4];
  std::memset(guard, kGuard, sizeof guard);
  ASSERT_TRUE(parseVariableLine(line.c_str(), name, sizeof name, value, sizeof value));
  EXPECT_EQ(std::string(name), std::string(16, 'N')) << name;
  EXPECT_EQ(std::string(value), std::string(8, 'V')) << value;
  for (char c : guard) EXPECT_EQ(c, kGuard) << "guard overwritten";
}

TEST(InstallationText, PathValueListsTheInstallationFoldersFirst) {
  char path[512];
  size_t length = composeInstallationPath(path, sizeof path, "C:\\ii", "C:\\windows;C:\\tools");
  EXPECT_STREQ(path,
               "C:\\ii\\ingres\\bin;C:\\ii\\ingres\\utility;C:\\ii\\ingres\\vdba;C:\\windows;"
               "C:\\tools")
      << path;
  EXPECT_EQ(length, std::strlen(path)) << "length " << length;

  char small[12];
  std::memset(small, kGuard, sizeof small);
  length = composeInstallationPath(small, 10, "C:\\ii", "C:\\windows");
  EXPECT_STREQ(small, "C:\\ii\\ing") << small;
  EXPECT_EQ(length, 9u) << "length " << length;
  EXPECT_EQ(small[10], kGuard) << "byte past the buffer written";
}

const char* const kReport =
    "================================================================================\n"
    "Database : (jdb,ingres)  ID : 0x1  Default collation : udefault\n"
    "----Journal information---------------------------------------------------------\n"
    "    Checkpoint sequence :          2    Journal sequence :                 3\n"
    "    Current journal block :          0    Journal block size :           16384\n"
    "----Checkpoint History for Journal----------------------------------------------\n"
    "    Journal sequence :                 9\n";

int scanReport(const std::string& report) {
  JournalSequenceScan scan;
  size_t start = 0;
  while (start < report.size()) {
    size_t end = report.find('\n', start);
    end = end == std::string::npos ? report.size() : end + 1;
    scan.feed(report.substr(start, end - start).c_str());
    start = end;
  }
  return scan.number();
}

TEST(InstallationText, JournalSequenceComesFromTheJournalSection) {
  EXPECT_EQ(scanReport(kReport), 3) << "first sequence line after the section title";
  {
    SCOPED_TRACE("the line only before the section");
    const std::string before =
        "    Checkpoint sequence :          2    Journal sequence :                 7\n"
        "----Journal information---------------------------------------------------------\n"
        "    Current journal block :          0\n";
    EXPECT_EQ(scanReport(before), 0);
  }
  EXPECT_EQ(scanReport("----Journal information----\n    nothing here\n"), 0) << "no line";
  EXPECT_EQ(scanReport(""), 0) << "empty report";
  EXPECT_EQ(scanReport("----Journal information\nJournal sequence :\n"), 0)
      << "line without a third field";
}

TEST(InstallationText, InstallLogOwnerDropsTheLastCharacter) {
  char owner[kOwnerNameSize] = "unchanged";
  EXPECT_FALSE(installLogOwner("II_SYSTEM=C:\\ii\n", owner, sizeof owner));
  EXPECT_STREQ(owner, "unchanged") << owner;
  ASSERT_TRUE(installLogOwner("  USERNAME=ingadmin\n", owner, sizeof owner));
  EXPECT_STREQ(owner, "ingadmin") << owner;

  char small[5];
  ASSERT_TRUE(installLogOwner("USERNAME=averylongname\n", small, sizeof small));
  EXPECT_STREQ(small, "aver") << small;
}

TEST(InstallationText, ConfigDatUsersNeedPrefixAndPrivileges) {
  char prefix[kOwnerNameSize];
  privilegeKeyPrefix(prefix, sizeof prefix, "HOST-01");
  ASSERT_STREQ(prefix, "ii.host-01.privileges.user.") << prefix;

  char user[kOwnerNameSize] = "unchanged";
  EXPECT_TRUE(
      configDatUser("ii.host-01.privileges.user.ingres: SERVER_CONTROL,NET_ADMIN,MONITOR,TRUSTED\n",
                    prefix, user, sizeof user));
  EXPECT_STREQ(user, "ingres") << user;
  EXPECT_FALSE(
      configDatUser("ii.host-01.privileges.user.guest: MONITOR\n", prefix, user, sizeof user))
      << "lacks the privileges";
  EXPECT_FALSE(
      configDatUser("ii.other.privileges.user.ingres: SERVER_CONTROL,NET_ADMIN,MONITOR,TRUSTED\n",
                    prefix, user, sizeof user))
      << "another host";
}

std::string choose(std::initializer_list<const char*> users) {
  OwnerChoice choice;
  for (const char* user : users) choice.add(user);
  char owner[kOwnerNameSize] = "<none>";
  choice.owner(owner, sizeof owner);
  return owner;
}

TEST(InstallationText, OwnerChoiceSkipsSystemAndPrefersNonAdministrators) {
  EXPECT_EQ(choose({"system", "administrator", "ingres"}), "ingres");
  EXPECT_EQ(choose({"system", "administrator"}), "administrator") << "one name left is taken";
  EXPECT_EQ(choose({"SYSTEM"}), "<none>");
  EXPECT_EQ(choose({}), "<none>");
  EXPECT_EQ(choose({"Administrator", "administrator"}), "<none>") << "all administrators";
  EXPECT_EQ(choose({"administrator", "alice", "bob"}), "alice");

  OwnerChoice crowded;
  for (size_t i = 0; i < kOwnerListLimit + 5; ++i) crowded.add("administrator");
  crowded.add("late");
  char owner[kOwnerNameSize] = "<none>";
  EXPECT_FALSE(crowded.owner(owner, sizeof owner)) << "names past the limit are not read";
  EXPECT_EQ(crowded.count(), kOwnerListLimit) << "count " << crowded.count();
}

}  // namespace
}  // namespace ferry::agent
