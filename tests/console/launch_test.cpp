// A double-click on an item starts the shortcut's target: with the shortcut's arguments, in
// its working directory or else in the target's own directory, and nothing for an entry that
// has no target. Also which items take the console's rename and select notifications.
#include <fstream>
#include <iterator>

#include "snapin_fixture.h"
#include "support/win_process.h"

namespace ferry::test {
namespace {

using consolehost::ShortcutSpec;

// Folders of this test only; a space in the program's folder makes an unquoted command line
// start the wrong program.
const std::string kBase = "C:\\lookout launch test";
const std::string kProgramDir = kBase + "\\tool dir";
const std::string kProgram = kProgramDir + "\\where ran.exe";
const std::string kWorkDir = kBase + "\\work";

// The record the program writes, once it exists and is complete; waits at most 20 s.
std::string waitForRecord(const std::string& path) {
  for (int waited = 0; waited < 20000; waited += 100) {
    std::ifstream file(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (!text.empty() && text.back() == '\n') {
      // The program closes the file after its last line; give it the moment to exit.
      Sleep(100);
      std::ifstream again(path, std::ios::binary);
      return std::string((std::istreambuf_iterator<char>(again)), std::istreambuf_iterator<char>());
    }
    Sleep(100);
  }
  return "<no record after 20 s>";
}

class LaunchTest : public SnapinTest {
 protected:
  void SetUp() override {
    SnapinTest::SetUp();
    removeTree(kBase);
    ASSERT_TRUE(CreateDirectoryA(kBase.c_str(), nullptr)) << GetLastError();
    ASSERT_TRUE(CreateDirectoryA(kProgramDir.c_str(), nullptr)) << GetLastError();
    ASSERT_TRUE(CreateDirectoryA(kWorkDir.c_str(), nullptr)) << GetLastError();
    ASSERT_TRUE(CopyFileA((binDir() + "\\lookout_where_ran.exe").c_str(), kProgram.c_str(), FALSE))
        << GetLastError();
  }
  void TearDown() override {
    SnapinTest::TearDown();
    removeTree(kBase);
  }
};

const consolehost::TreeItem* itemNamed(const Shown& shown, const std::wstring& name) {
  for (const auto& folder : shown.tree.folders) {
    for (const auto& item : folder.items) {
      if (item.name == name) return &item;
    }
  }
  return nullptr;
}

TEST_F(LaunchTest, DoubleClickStartsTheTargetWithItsArgumentsWhereItBelongs) {
  setEdition(1);
  const std::string tools = startMenuFolder("Tidewell Backup");
  ShortcutSpec plain;
  plain.target = kProgram;
  plain.arguments = "\"" + kBase + "\\plain.txt\" first \"second one\"";
  addShortcut(tools, "Plain.lnk", plain);
  ShortcutSpec elsewhere = plain;
  elsewhere.arguments = "\"" + kBase + "\\elsewhere.txt\"";
  elsewhere.workingDirectory = kWorkDir;
  addShortcut(tools, "Elsewhere.lnk", elsewhere);
  {
    std::ofstream notShortcut(tools + "\\Notes.txt");
    notShortcut << "not a shortcut";
  }
  ShortcutSpec agent = plain;
  agent.arguments = "\"" + kBase + "\\agent.txt\"";
  addShortcut(startMenuFolder("Tidewell Backup Agents"), "Agent.lnk", agent);

  consolehost::RecordingConsole console;
  consolehost::ConsoleSession session(console);
  Shown shown;
  ASSERT_EQ(session.open(), S_OK);
  ASSERT_EQ(session.showTree(&shown.tree), S_OK) << console.log().text();
  const auto* plainItem = itemNamed(shown, L"Plain");
  const auto* elsewhereItem = itemNamed(shown, L"Elsewhere");
  const auto* notesItem = itemNamed(shown, L"Notes");
  const auto* agentItem = itemNamed(shown, L"Agent");
  ASSERT_TRUE(plainItem && elsewhereItem && notesItem && agentItem) << console.log().text();
  {
    SCOPED_TRACE("no working directory: the target's own directory, the shortcut's arguments");
    EXPECT_EQ(session.notifyView(plainItem->cookie, MMCN_DBLCLICK, 0, 0), S_OK);
    EXPECT_EQ(waitForRecord(kBase + "\\plain.txt"), kProgramDir + "\nfirst\nsecond one\n");
  }
  {
    SCOPED_TRACE("the shortcut's working directory");
    EXPECT_EQ(session.notifyView(elsewhereItem->cookie, MMCN_DBLCLICK, 0, 0), S_OK);
    EXPECT_EQ(waitForRecord(kBase + "\\elsewhere.txt"), kWorkDir + "\n");
  }
  {
    SCOPED_TRACE("a file that is no shortcut: an item without target, that starts nothing");
    EXPECT_EQ(notesItem->description, L"");
    EXPECT_EQ(session.notifyView(notesItem->cookie, MMCN_DBLCLICK, 0, 0), S_OK);
    EXPECT_NE(readTrace().find("launchShortcut(): the shortcut Notes has no target"),
              std::string::npos)
        << readTrace();
  }
  {
    SCOPED_TRACE("tool items take rename and select, agent items decline them");
    EXPECT_EQ(session.notifyView(plainItem->cookie, MMCN_RENAME, 1, 0), S_OK);
    EXPECT_EQ(session.notifyView(plainItem->cookie, MMCN_SELECT, MAKELONG(0, 1), 0), S_OK);
    EXPECT_EQ(session.notifyView(agentItem->cookie, MMCN_RENAME, 1, 0), S_FALSE);
    EXPECT_EQ(session.notifyView(agentItem->cookie, MMCN_SELECT, MAKELONG(0, 1), 0), S_FALSE);
    EXPECT_EQ(session.notifyView(agentItem->cookie, MMCN_DBLCLICK, 0, 0), S_OK);
    EXPECT_EQ(waitForRecord(kBase + "\\agent.txt"), kProgramDir + "\n") << "agents start too";
  }
}

}  // namespace
}  // namespace ferry::test
