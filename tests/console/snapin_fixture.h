// The fixture of the snap-in's tests: lookout.dll registered with regsvr32, COM in a
// single-threaded apartment (the snap-in is apartment-model), and the machine-wide things the
// snap-in reads owned by the test: the edition keys, the snap-in's four Start-menu folders and
// its trace file are cleared before each test and removed after it. These names are fixed, so
// the tests take turns (one CTest resource lock).
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "console_session.h"
#include "shortcut_file.h"

namespace ferry::test {

// What one opening of the snap-in showed, and every call it made into the console.
struct Shown {
  consolehost::Tree tree;
  consolehost::CallLog log;
};

class SnapinTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  static std::string libraryPath();
  // Runs regsvr32 with `options` on the library; its exit code.
  static DWORD regsvr32(const char* options);

  // Makes the product key of edition 1 or 2 ("...\Products") readable.
  void setEdition(int edition);
  // The Start-menu folder `name` below "NV\Halyard", made (with its parents) if missing.
  std::string startMenuFolder(const char* name);
  void addShortcut(const std::string& folder, const std::string& fileName,
                   const consolehost::ShortcutSpec& spec);
  static std::string readTrace();

  // Opens the snap-in as the console does, shows every folder and closes it again; checks that
  // every console reference was given back.
  Shown showSnapin();

 private:
  static void clearMachineState();
  bool initialised_ = false;
};

// The text a data object writes for `format` into a block of `blockSize` bytes filled with 0xbd.
std::string dataOf(IDataObject* dataObject, CLIPFORMAT format, HRESULT* hr, size_t blockSize = 64);

}  // namespace ferry::test
