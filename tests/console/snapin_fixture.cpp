#include "snapin_fixture.h"

#include <objbase.h>
#include <shlobj.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "support/win_process.h"
#include "unique_handle.h"

namespace ferry::test {
namespace {

const char* const kEditionKeys[] = {"SOFTWARE\\Norvane\\Halyard Tidewell Backup",
                                    "SOFTWARE\\Norvane\\Halyard Enterprise Backup"};
const char* const kMenuFolders[] = {"Tidewell Backup", "Tidewell Backup Agents",
                                    "Enterprise Backup", "Enterprise Backup Agents"};

std::string halyardMenu() {
  char programs[MAX_PATH] = "";
  SHGetFolderPathA(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, programs);
  return std::string(programs) + "\\NV\\Halyard";
}

std::string traceFile() {
  char windows[MAX_PATH] = "C:";
  GetWindowsDirectoryA(windows, MAX_PATH);
  return std::string(windows, 2) + "\\lookout.LOG";
}

}  // namespace

std::string SnapinTest::libraryPath() { return binDir() + "\\lookout.dll"; }

DWORD SnapinTest::regsvr32(const char* options) {
  ProcessResult run =
      runProcess(std::string("regsvr32.exe ") + options + " \"" + libraryPath() + "\"");
  EXPECT_TRUE(run.started) << "regsvr32: error " << run.error;
  return run.exitCode;
}

// Only what the snap-in reads: the "Products" keys (their parents hold other products' settings
// and are removed only when nothing else is left in them), the four leaf folders of the Start
// menu, the trace file.
void SnapinTest::clearMachineState() {
  for (const char* key : kEditionKeys) {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string(key) + "\\Products").c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, key);  // fails, as wanted, while it has other subkeys
  }
  const std::string menu = halyardMenu();
  for (const char* folder : kMenuFolders) removeTree(menu + "\\" + folder);
  RemoveDirectoryA(menu.c_str());  // only when empty
  RemoveDirectoryA(menu.substr(0, menu.rfind('\\')).c_str());
  DeleteFileA(traceFile().c_str());
}

void SnapinTest::SetUp() {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  initialised_ = true;
  clearMachineState();
  ASSERT_EQ(regsvr32("/s"), 0u) << "regsvr32 /s " << libraryPath();
}

void SnapinTest::TearDown() {
  EXPECT_EQ(regsvr32("/u /s"), 0u) << "regsvr32 /u /s " << libraryPath();
  clearMachineState();
  if (initialised_) CoUninitialize();
}

void SnapinTest::setEdition(int edition) {
  UniqueKey key;
  const std::string path = std::string(kEditionKeys[edition - 1]) + "\\Products";
  LSTATUS status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE,
                                   nullptr, key.put(), nullptr);
  ASSERT_EQ(status, ERROR_SUCCESS) << path;
}

std::string SnapinTest::startMenuFolder(const char* name) {
  const std::string path = halyardMenu() + "\\" + name;
  int status = SHCreateDirectoryExA(nullptr, path.c_str(), nullptr);
  EXPECT_TRUE(status == ERROR_SUCCESS || status == ERROR_ALREADY_EXISTS) << path << ": " << status;
  return path;
}

void SnapinTest::addShortcut(const std::string& folder, const std::string& fileName,
                             const consolehost::ShortcutSpec& spec) {
  HRESULT hr = consolehost::makeShortcut(folder + "\\" + fileName, spec);
  ASSERT_TRUE(SUCCEEDED(hr)) << fileName << ": " << consolehost::resultName(hr);
}

std::string SnapinTest::readTrace() {
  std::ifstream file(traceFile(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

Shown SnapinTest::showSnapin() {
  Shown shown;
  consolehost::RecordingConsole console;
  {
    consolehost::ConsoleSession session(console);
    HRESULT hr = session.open();
    if (SUCCEEDED(hr)) hr = session.showTree(&shown.tree);
    EXPECT_EQ(hr, S_OK) << consolehost::resultName(hr) << "\n" << console.log().text();
  }
  EXPECT_EQ(console.references(), 0) << "console references the snap-in kept after Destroy";
  shown.log = console.log();
  return shown;
}

std::string dataOf(IDataObject* dataObject, CLIPFORMAT format, HRESULT* hr, size_t blockSize) {
  STGMEDIUM medium{};
  medium.tymed = TYMED_HGLOBAL;
  UniqueHGlobal block(GlobalAlloc(GMEM_MOVEABLE, blockSize));
  medium.hGlobal = block.get();
  std::memset(GlobalLock(medium.hGlobal), 0xbd, blockSize);
  GlobalUnlock(medium.hGlobal);
  FORMATETC wanted = {format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  *hr = dataObject->GetDataHere(&wanted, &medium);
  // A block the data object moved to grow it is gone: the medium holds the one to free.
  if (medium.hGlobal != block.get()) {
    block.release();
    block.reset(medium.hGlobal);
  }
  const size_t size = GlobalSize(medium.hGlobal);
  std::string bytes(static_cast<const char*>(GlobalLock(medium.hGlobal)), size);
  GlobalUnlock(medium.hGlobal);
  return bytes;
}

}  // namespace ferry::test
