// The agent directory is the folder of the loaded "ferryman.dll"; any other file name refuses.
#include "core/module_path.h"

#include <gtest/gtest.h>

namespace ferry::agent {
namespace {

TEST(ModulePath, FolderOfTheAgentLibrary) {
  EXPECT_EQ(agentDirectoryFromModulePath("C:\\Program Files\\Agent\\ferryman.dll").value_or("-"),
            "C:\\Program Files\\Agent");
  EXPECT_EQ(agentDirectoryFromModulePath("C:\\ferryman.dll").value_or("-"), "C:");
  EXPECT_EQ(agentDirectoryFromModulePath("C:\\ferryman.dll\\x\\ferryman.dll").value_or("-"),
            "C:\\ferryman.dll\\x")
      << "the file's own name decides, not a folder of the same name";
}

TEST(ModulePath, OtherNamesRefuse) {
  EXPECT_FALSE(agentDirectoryFromModulePath("C:\\agent\\ferryboat.dll"));
  EXPECT_FALSE(agentDirectoryFromModulePath("C:\\agent\\FERRYMAN.DLL")) << "exact case";
  EXPECT_FALSE(agentDirectoryFromModulePath("C:\\agent\\Ferryman.dll")) << "exact case";
  EXPECT_FALSE(agentDirectoryFromModulePath("C:\\agent\\oldferryman.dll"))
      << "the name must start the file name";
  EXPECT_FALSE(agentDirectoryFromModulePath("ferryman.dll")) << "no folder";
  EXPECT_FALSE(agentDirectoryFromModulePath("\\ferryman.dll")) << "no folder before the name";
  EXPECT_FALSE(agentDirectoryFromModulePath(""));
}

}  // namespace
}  // namespace ferry::agent
