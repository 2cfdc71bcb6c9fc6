#include "core/install_text.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace ingsim::core {
namespace {

// The agent's reading of config.dat: lines holding the host's privilege prefix and the four
// privileges; the user is the text after the prefix, cut at the line's first ':'.
std::vector<std::string> agentPrivilegedUsers(const std::string& text, const std::string& host) {
  std::vector<std::string> users;
  const std::string prefix = "ii." + toLower(host) + ".privileges.user.";
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    size_t at = line.find(prefix);
    if (at == std::string::npos || line.find(kOwnerPrivileges) == std::string::npos) continue;
    std::string user = line.substr(at + prefix.size());
    users.push_back(user.substr(0, user.find(':')));
  }
  return users;
}

TEST(InstallText, VersionDigitIsTheFourthCharacter) {
  for (int major : {2, 3}) {
    std::string text = versionRelText(major);
    ASSERT_GE(text.size(), 4u);
    EXPECT_EQ(text[3], static_cast<char>('0' + major)) << text;
    EXPECT_EQ(text.find('\r'), std::string::npos) << "lines end in a bare newline";
  }
}

TEST(InstallText, InstallLogNamesTheOwnerOnlyWhenGiven) {
  InstallLogFacts facts{"C:\\ing", "II", 3, "bob", "2025-01-01 00:00:00"};
  std::string text = installLogText(facts);
  size_t at = text.find("USERNAME=");
  ASSERT_NE(at, std::string::npos) << text;
  EXPECT_EQ(text.substr(at, text.find('\n', at) - at + 1), "USERNAME=bob\n") << text;
  facts.owner.clear();
  text = installLogText(facts);
  EXPECT_EQ(text.find("USERNAME="), std::string::npos) << text;
}

TEST(InstallText, ConfigDatPrivilegesAndCompleteLine) {
  ConfigDatFacts facts{"buildhost", "II", 2, {"system", "administrator", "ingres"}};
  std::string text = configDatText(facts);
  EXPECT_EQ(agentPrivilegedUsers(text, "BUILDHOST"),
            (std::vector<std::string>{"system", "administrator", "ingres"}))
      << text;
  EXPECT_EQ(agentPrivilegedUsers(text, "otherhost").size(), 0u) << "keys carry the host name";
  const std::string complete = "ii.buildhost.config.dbms." + releaseId(2) + ":";
  size_t at = text.find(complete);
  ASSERT_NE(at, std::string::npos) << text;
  std::string line = text.substr(at, text.find('\n', at) - at);
  std::string value = line.substr(complete.size());
  EXPECT_EQ(value.substr(value.find_first_not_of(' ')), "COMPLETE") << line;
  facts.privilegedUsers.clear();
  EXPECT_EQ(agentPrivilegedUsers(configDatText(facts), "buildhost").size(), 0u);
}

}  // namespace
}  // namespace ingsim::core
