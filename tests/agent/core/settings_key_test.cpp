// Key names of the agent's settings.
#include "core/settings_key.h"

#include <gtest/gtest.h>

namespace ferry::agent {
namespace {

TEST(SettingsKey, ComposedBelowTheRoot) {
  EXPECT_EQ(agentSettingsKey("SOFTWARE\\Norvane\\Halyard Tidewell", "agent", "ferryman@II"),
            "SOFTWARE\\Norvane\\Halyard Tidewell\\DSAgent\\CurrentVersion\\agent\\ferryman@II");
  EXPECT_EQ(agentSettingsKey("R", "agent", ""), "R\\DSAgent\\CurrentVersion\\agent")
      << "an empty instance adds nothing";
  EXPECT_EQ(agentInstanceName("AG1"), "ferryman@AG1");
}

TEST(SettingsKey, AgentInstanceKeysBeginWithTheLibraryName) {
  EXPECT_TRUE(isAgentInstanceKey("ferryman@II"));
  EXPECT_TRUE(isAgentInstanceKey("ferryman"));
  EXPECT_FALSE(isAgentInstanceKey("Ferryman@II")) << "exact case";
  EXPECT_FALSE(isAgentInstanceKey("ferryma"));
  EXPECT_FALSE(isAgentInstanceKey("xferryman"));
}

TEST(SettingsKey, RemotePipeAccountsAreASemicolonList) {
  bool tooMany = true;
  EXPECT_EQ(remotePipeAccounts(" MEDIA\\svc-tape ;; backupops;\t", &tooMany),
            (std::vector<std::string>{"MEDIA\\svc-tape", "backupops"}));
  EXPECT_FALSE(tooMany);
  EXPECT_TRUE(remotePipeAccounts(" ; ", &tooMany).empty());
  std::string many;
  for (int i = 0; i < 20; ++i) many += "a" + std::to_string(i) + ";";
  std::vector<std::string> kept = remotePipeAccounts(many, &tooMany);
  EXPECT_TRUE(tooMany);
  ASSERT_EQ(kept.size(), kMostRemotePipeAccounts);
  EXPECT_EQ(kept.back(), "a15");
}

}  // namespace
}  // namespace ferry::agent
