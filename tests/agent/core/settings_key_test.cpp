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

}  // namespace
}  // namespace ferry::agent
