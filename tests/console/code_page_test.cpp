// The snap-in in a program whose ANSI code page is 932, as on a Japanese system: shortcut files
// whose names hold double-byte characters with trail bytes that are ASCII capitals (the A of
// "ア" is 0x83 0x41) are read under the names they were found by, so their targets and
// descriptions show; a file system that ignores case is asked about the extension the same way.
#include <algorithm>

#include "snapin_fixture.h"

namespace ferry::test {
namespace {

std::string ansi(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string bytes(size > 0 ? size - 1 : 0, '\0');
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, bytes.data(), size, nullptr, nullptr);
  return bytes;
}

TEST_F(SnapinTest, DoubleByteShortcutNamesShowTheirTargets) {
  ASSERT_EQ(GetACP(), 932u) << "the program runs in code page 932 only with LC_ALL=ja_JP.UTF-8";
  const std::string backup = ansi(L"バックアップ");  // trail bytes 0x4E and 0x41: 'N', 'A'
  const std::string icons = ansi(L"アイコン");       // trail bytes 'A', 'C', 'R'
  ASSERT_NE(backup.find('A'), std::string::npos) << "no trail byte that is a capital";
  setEdition(1);
  char system[MAX_PATH];
  GetSystemDirectoryA(system, MAX_PATH);
  const std::string folder = startMenuFolder("Tidewell Backup");
  consolehost::ShortcutSpec spec;
  spec.target = std::string(system) + "\\notepad.exe";
  spec.description = ansi(L"バックアップの道具");
  addShortcut(folder, backup + ".lnk", spec);
  consolehost::ShortcutSpec upper = spec;
  upper.description = "extension in capitals";
  addShortcut(folder, icons + ".LNK", upper);

  Shown shown = showSnapin();
  ASSERT_EQ(shown.tree.folders.size(), 1u) << shown.log.text();
  const std::vector<consolehost::TreeItem>& items = shown.tree.folders[0].items;
  ASSERT_EQ(items.size(), 2u);
  auto described = [&](const std::wstring& name) {
    auto item = std::find_if(items.begin(), items.end(),
                             [&](const consolehost::TreeItem& each) { return each.name == name; });
    return item == items.end() ? std::wstring(L"<no item>") : item->description;
  };
  EXPECT_EQ(described(L"バックアップ"), L"バックアップの道具")
      << "the shortcut was not read under its own name";
  EXPECT_EQ(described(L"アイコン"), L"extension in capitals");
  const std::string trace = readTrace();
  size_t targets = 0;
  for (size_t at = trace.find("notepad.exe\r\n"); at != std::string::npos;
       at = trace.find("notepad.exe\r\n", at + 1)) {
    ++targets;
  }
  EXPECT_EQ(targets, 2u) << "each shortcut's target traced once\n" << trace;
}

}  // namespace
}  // namespace ferry::test
