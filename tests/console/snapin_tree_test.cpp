// What the snap-in shows through the console: which folders the installed edition and its
// Start-menu folders give, the items made from the shortcuts in them, the result pane's columns
// and images, the folders' limits, and the trace of the enumeration.
#include <algorithm>
#include <set>

#include "snapin_fixture.h"
#include "support/win_process.h"

namespace ferry::test {
namespace {

using consolehost::ShortcutSpec;
using consolehost::TreeFolder;

const std::wstring kRootName = L"Halyard Tidewell Backup";
const std::wstring kToolsName = L"Halyard Tidewell Backup";
const std::wstring kAgentsName = L"Halyard Tidewell Backup エージェント";

std::string systemProgram(const char* name) {
  char system[MAX_PATH];
  GetSystemDirectoryA(system, MAX_PATH);
  return std::string(system) + "\\" + name;
}

ShortcutSpec toProgram(const char* program, const char* description) {
  ShortcutSpec spec;
  spec.target = systemProgram(program);
  spec.description = description;
  return spec;
}

TEST_F(SnapinTest, EditionKeyAndStartMenuFoldersDecideTheFolders) {
  // Shortcuts in every folder, so that only the key and the folders' existence decide.
  for (const char* name :
       {"Tidewell Backup Agents", "Enterprise Backup", "Enterprise Backup Agents"}) {
    addShortcut(startMenuFolder(name), "Notepad.lnk", toProgram("notepad.exe", name));
  }
  {
    SCOPED_TRACE("no edition key: the root expands to nothing");
    Shown shown = showSnapin();
    EXPECT_EQ(shown.tree.rootName, kRootName);
    EXPECT_TRUE(shown.tree.folders.empty());
    EXPECT_EQ(shown.log.find("IConsoleNameSpace::InsertItem"), -1) << shown.log.text();
  }
  {
    SCOPED_TRACE("edition 2 with only its agents folder: one folder, the agents folder");
    setEdition(2);
    removeTree(startMenuFolder("Enterprise Backup"));
    Shown shown = showSnapin();
    ASSERT_EQ(shown.tree.folders.size(), 1u) << shown.log.text();
    const TreeFolder& agents = shown.tree.folders[0];
    EXPECT_EQ(agents.name, kAgentsName);
    EXPECT_EQ(agents.image, 10);
    EXPECT_EQ(agents.scope.openImage, 0);
    EXPECT_EQ(agents.scope.children, 1) << "the first folder inserted carries the children flag";
    ASSERT_EQ(agents.items.size(), 1u);
    EXPECT_EQ(agents.items[0].description, L"Enterprise Backup Agents");
  }
  {
    SCOPED_TRACE("edition 1 before edition 2; an empty tools folder shows without items");
    setEdition(1);
    startMenuFolder("Tidewell Backup");
    Shown shown = showSnapin();
    ASSERT_EQ(shown.tree.folders.size(), 2u) << shown.log.text();
    const TreeFolder& tools = shown.tree.folders[0];
    EXPECT_EQ(tools.name, kToolsName);
    EXPECT_EQ(tools.image, 5);
    EXPECT_EQ(tools.scope.children, 1);
    EXPECT_TRUE(tools.items.empty());
    ASSERT_EQ(tools.columns.size(), 2u) << "an empty folder still has its columns";
    const TreeFolder& agents = shown.tree.folders[1];
    EXPECT_EQ(agents.name, kAgentsName);
    EXPECT_EQ(agents.scope.children, 0) << "the second folder inserted is without the flag";
    ASSERT_EQ(agents.items.size(), 1u);
    EXPECT_EQ(agents.items[0].description, L"Tidewell Backup Agents") << "edition 1's folder";
    EXPECT_EQ(agents.scope.parent, consolehost::RecordingConsole::kRootItem);
  }
}

TEST_F(SnapinTest, ShortcutsBecomeNumberedItemsWithNameAndDescription) {
  setEdition(1);
  const std::string tools = startMenuFolder("Tidewell Backup");
  addShortcut(tools, "Backup Console.lnk", toProgram("notepad.exe", "Opens the backup console"));
  addShortcut(tools, "X.lnk", toProgram("cmd.exe", "Second tool"));
  const std::string older = startMenuFolder("Tidewell Backup\\Older tools");
  addShortcut(older, "Hidden.lnk", toProgram("cmd.exe", "in a sub-folder"));

  Shown shown = showSnapin();
  ASSERT_EQ(shown.tree.folders.size(), 1u) << shown.log.text();
  const TreeFolder& folder = shown.tree.folders[0];
  {
    SCOPED_TRACE("two items numbered 0 and 1, the sub-folder not shown, X.lnk shown as X");
    ASSERT_EQ(folder.items.size(), 2u) << shown.log.text();
    std::set<int> images;
    for (const auto& item : folder.items) images.insert(item.image);
    EXPECT_EQ(images, (std::set<int>{0, 1}));
    for (const auto& item : folder.items) {
      if (item.name == L"X") {
        EXPECT_EQ(item.description, L"Second tool");
      } else {
        EXPECT_EQ(item.name, L"Backup Console");
        EXPECT_EQ(item.description, L"Opens the backup console");
      }
    }
  }
  {
    SCOPED_TRACE("the result pane: two columns, emptied, then one item per shortcut");
    ASSERT_EQ(folder.columns.size(), 2u);
    EXPECT_EQ(folder.columns[0].title, L"名前");
    EXPECT_EQ(folder.columns[0].width, 160);
    EXPECT_EQ(folder.columns[0].format, 0) << "left-aligned";
    EXPECT_EQ(folder.columns[1].title, L"詳細");
    EXPECT_EQ(folder.columns[1].width, 320);
    const int emptied = shown.log.find("IResultData::DeleteAllRsltItems");
    const int inserted = shown.log.find("IResultData::InsertItem(text callback");
    EXPECT_GE(emptied, 0);
    EXPECT_GT(inserted, emptied) << shown.log.text();
    EXPECT_GT(shown.log.find("IImageList(scope)::ImageListSetStrip(small 176x16, large 352x32, "
                             "start 0, mask 0xffffff)"),
              -1)
        << shown.log.text();
    for (int position : {0, 1}) {
      const std::string at = "position " + std::to_string(position);
      EXPECT_GT(shown.log.find("IImageList(result)::ImageListSetIcon(icon 32x32, " + at +
                               ", both sizes)"),
                -1)
          << shown.log.text();
      EXPECT_GT(shown.log.find("IImageList(result)::ImageListSetIcon(icon 16x16, " + at +
                               ", small only)"),
                -1)
          << shown.log.text();
    }
  }
  {
    SCOPED_TRACE("the trace of the enumeration");
    const std::string trace = readTrace();
    const std::string notepad = systemProgram("notepad.exe");
    size_t at = 0;
    for (const std::string& line :
         {std::string("Enter getLinkFileName() \r\n"), tools + "\\*.*\r\n",
          std::string("Enter GetShortcutTarget() \r\n"),
          std::string("Exit GetShortcutTarget() \r\n"), std::string("Exit getLinkFileName() \r\n"),
          std::string("Add a NVConsole item\r\n"), std::string("Add a NVConsole item\r\n"),
          "Insert a Icon,\r\n FileName=" + notepad + ",dwIconIndex = 0, \r\n"}) {
      size_t found = trace.find(line, at);
      ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << trace;
      at = found + line.size();
    }
    EXPECT_NE(trace.find(notepad + "\r\n\r\nOpens the backup console\r\n\r\nIndex=0,i="),
              std::string::npos)
        << "target, arguments, description, working directory, index\n"
        << trace;
    EXPECT_NE(trace.find(older + "\r\n"), std::string::npos) << "the sub-folder is traced";
    EXPECT_EQ(trace.find("Hidden"), std::string::npos) << "but not entered";
  }
}

TEST_F(SnapinTest, FoldersShowTheirFirstShortcutsUpToTheirLimit) {
  setEdition(1);
  const std::string tools = startMenuFolder("Tidewell Backup");
  const std::string agents = startMenuFolder("Tidewell Backup Agents");
  for (int i = 0; i < 25; ++i) {
    addShortcut(tools, "Tool " + std::to_string(100 + i) + ".lnk", toProgram("cmd.exe", "tool"));
  }
  for (int i = 0; i < 21; ++i) {
    addShortcut(agents, "Agent " + std::to_string(100 + i) + ".lnk", toProgram("cmd.exe", "agent"));
  }
  Shown shown = showSnapin();
  ASSERT_EQ(shown.tree.folders.size(), 2u);
  EXPECT_EQ(shown.tree.folders[0].items.size(), 23u);
  EXPECT_EQ(shown.tree.folders[1].items.size(), 20u);
  int highest = -1;
  for (const auto& item : shown.tree.folders[0].items) highest = std::max(highest, item.image);
  EXPECT_EQ(highest, 22);
  const std::string trace = readTrace();
  size_t skipped = 0;
  for (size_t at = trace.find("is not shown"); at != std::string::npos;
       at = trace.find("is not shown", at + 1)) {
    ++skipped;
  }
  EXPECT_EQ(skipped, 3u) << "two tools and one agent are traced as not shown\n" << trace;
}

}  // namespace
}  // namespace ferry::test
