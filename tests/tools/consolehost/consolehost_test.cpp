// consolehost.exe as the demo uses it: it registers and unregisters the snap-in through
// regsvr32, prints the tree the snap-in shows and the calls between them, double-clicks an
// item, and prints the About answers.
#include <fstream>
#include <iterator>

#include "snapin_fixture.h"
#include "support/win_process.h"
#include "unique_handle.h"

namespace ferry::test {
namespace {

ProcessResult host(const std::string& arguments) {
  ProcessResult run = runProcess("\"" + binDir() + "\\consolehost.exe\" " + arguments);
  std::string plain;
  for (char c : run.out) {
    if (c != '\r') plain += c;
  }
  run.out = plain;
  return run;
}

bool classRegistered() {
  ferry::UniqueKey key;
  return RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID\\{1A23B247-C9CF-43F5-A7AE-6B1FF4BDB52A}", 0,
                       KEY_READ, key.put()) == ERROR_SUCCESS;
}

TEST_F(SnapinTest, ConsoleHostRegistersPrintsTheTreeAndDoubleClicks) {
  {
    SCOPED_TRACE("unregister and register through regsvr32");
    ProcessResult run = host("unregister \"" + libraryPath() + "\"");
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_FALSE(classRegistered());
    run = host("register \"" + libraryPath() + "\"");
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_TRUE(classRegistered());
    EXPECT_EQ(host("").exitCode, 2u) << "usage";
  }
  setEdition(1);
  const std::string record = binDir() + "\\consolehost_test_record.txt";
  DeleteFileA(record.c_str());
  consolehost::ShortcutSpec spec;
  spec.target = binDir() + "\\lookout_where_ran.exe";
  spec.arguments = "\"" + record + "\"";
  spec.description = "Opens the backup console";
  addShortcut(startMenuFolder("Tidewell Backup"), "Backup Console.lnk", spec);
  startMenuFolder("Tidewell Backup Agents");
  {
    SCOPED_TRACE("tree --calls --open: the tree, every call, the double-click");
    ProcessResult run = host("tree --calls --open \"Backup Console\"");
    EXPECT_EQ(run.exitCode, 0u) << run.out << run.err;
    const std::string expected =
        "Halyard Tidewell Backup  (root, image 5)\n"
        "  Halyard Tidewell Backup  (folder, image 5, open image 0)\n"
        "      名前 (160) | 詳細 (320)\n"
        "    0: Backup Console | Opens the backup console\n"
        "  Halyard Tidewell Backup エージェント  (folder, image 10, open image 0)\n"
        "      名前 (160) | 詳細 (320)\n"
        "    (no items)\n"
        "double-click Backup Console: S_OK\n"
        "calls:\n";
    EXPECT_EQ(run.out.substr(0, expected.size()), expected) << run.out;
    for (const char* line :
         {"  > CoCreateInstance(SnapinData, IComponentData) -> S_OK\n",
          "  IConsoleNameSpace::InsertItem(parent 1, text callback, image 5, open image 0, "
          "children 1, cookie 0x",
          "  IHeaderCtrl::InsertColumn(1, \"詳細\", format 0, width 320)\n",
          "  > IComponentData::Destroy -> S_OK\n",
          "console references the snap-in still holds: 0\nDllCanUnloadNow: S_OK\n"}) {
      EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;
    }
    for (int waited = 0;
         waited < 20000 && GetFileAttributesA(record.c_str()) == INVALID_FILE_ATTRIBUTES;
         waited += 100) {
      Sleep(100);
    }
    Sleep(200);  // the program writes one short line and closes the file
    std::ifstream file(record);
    std::string ran((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(ran, binDir() + "\n") << "the item's program ran in its own folder";
    file.close();
    DeleteFileA(record.c_str());
  }
  {
    SCOPED_TRACE("an item that is not there");
    ProcessResult run = host("tree --open Nothing");
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.out.find("double-click Nothing: E_INVALIDARG"), std::string::npos) << run.out;
  }
  {
    SCOPED_TRACE("about");
    ProcessResult run = host("about");
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.out,
              "description: Halyard Tidewell Backup 製品の管理を行います。\n"
              "provider: NV\n"
              "version: 1.0.0.0\n"
              "image: S_OK (an icon)\n"
              "static folder images: S_OK, mask 0xffffff\n");
  }
}

}  // namespace
}  // namespace ferry::test
