// consolehost.exe: plays the management console's part for the snap-in lookout.dll, which Wine
// cannot host otherwise. See usage() for the commands.
#include <mmc.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "console_session.h"
#include "guids.h"
#include "process_information.h"
#include "shortcut_file.h"

namespace consolehost {
namespace {

void usage() {
  std::fputs(
      "usage: consolehost register DLL      register the snap-in (regsvr32 /s DLL)\n"
      "       consolehost unregister DLL    remove its registration (regsvr32 /u /s DLL)\n"
      "       consolehost tree [--calls] [--open NAME]\n"
      "                                     open the snap-in, show its tree; --calls adds every\n"
      "                                     call between console and snap-in, --open NAME\n"
      "                                     double-clicks the item NAME\n"
      "       consolehost about             the snap-in's About answers\n"
      "       consolehost shortcut LINK TARGET [--arguments A] [--directory D]\n"
      "                            [--description TEXT]\n"
      "                                     make the shortcut file LINK through IShellLink\n",
      stderr);
}

void print(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
}

int regsvr32(const char* options, const char* library) {
  char full[MAX_PATH];
  DWORD length = GetFullPathNameA(library, MAX_PATH, full, nullptr);
  if (length == 0 || length >= MAX_PATH) {
    std::fprintf(stderr, "consolehost: %s: no such path\n", library);
    return 2;
  }
  std::string line = std::string("regsvr32.exe ") + options + " \"" + full + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  ferry::UniqueProcessInformation process;
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      process.put())) {
    std::fprintf(stderr, "consolehost: regsvr32 could not be started, error %lu\n", GetLastError());
    return 1;
  }
  process.closeThread();
  DWORD code = 1;
  if (WaitForSingleObject(process.process(), 60000) != WAIT_OBJECT_0) {
    TerminateProcess(process.process(), 1);
    std::fprintf(stderr, "consolehost: regsvr32 did not end within 60 s\n");
    return 1;
  }
  GetExitCodeProcess(process.process(), &code);
  if (code != 0) std::fprintf(stderr, "consolehost: %s ended with %lu\n", line.c_str(), code);
  return code == 0 ? 0 : 1;
}

void printTree(const Tree& tree) {
  print(utf8(tree.rootName) + "  (root, image 5)");
  if (tree.folders.empty()) print("  (no folders)");
  for (const TreeFolder& folder : tree.folders) {
    print("  " + utf8(folder.name) + "  (folder, image " + std::to_string(folder.image) +
          ", open image " + std::to_string(folder.scope.openImage) + ")");
    std::string header = "      ";
    for (const Column& column : folder.columns) {
      header += (column.index == 0 ? "" : " | ") + utf8(column.title) + " (" +
                std::to_string(column.width) + ")";
    }
    if (!folder.columns.empty()) print(header);
    if (folder.items.empty()) print("    (no items)");
    for (const TreeItem& item : folder.items) {
      print("    " + std::to_string(item.image) + ": " + utf8(item.name) + " | " +
            utf8(item.description));
    }
  }
}

int tree(int argc, char** argv) {
  bool calls = false;
  const char* open = nullptr;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--calls") == 0) {
      calls = true;
    } else if (std::strcmp(argv[i], "--open") == 0 && i + 1 < argc) {
      open = argv[++i];
    } else {
      usage();
      return 2;
    }
  }
  RecordingConsole console;
  int status = 0;
  {
    ConsoleSession session(console);
    Tree shown;
    HRESULT hr = session.open();
    if (SUCCEEDED(hr)) hr = session.showTree(&shown);
    if (FAILED(hr)) {
      std::fprintf(stderr, "consolehost: the snap-in failed: %s\n%s", resultName(hr).c_str(),
                   console.log().text().c_str());
      return 1;
    }
    printTree(shown);
    if (open != nullptr) {
      hr = E_INVALIDARG;
      for (const TreeFolder& folder : shown.folders) {
        for (const TreeItem& item : folder.items) {
          if (utf8(item.name) == open) hr = session.notifyView(item.cookie, MMCN_DBLCLICK, 0, 0);
        }
      }
      print(std::string("double-click ") + open + ": " + resultName(hr));
      if (FAILED(hr)) status = 1;
    }
  }
  // The session is closed: the snap-in must have given back every console interface, and
  // nothing of its library may be in use any more.
  const LONG left = console.references();
  const HRESULT unload = snapinCanUnloadNow();
  if (calls) {
    print("calls:");
    for (const std::string& line : console.log().lines()) print("  " + line);
    print("console references the snap-in still holds: " + std::to_string(left));
    print("DllCanUnloadNow: " + resultName(unload));
  }
  if (left != 0 || unload != S_OK) {
    std::fprintf(stderr,
                 "consolehost: after closing, the snap-in holds %ld console references "
                 "and DllCanUnloadNow answers %s\n",
                 left, resultName(unload).c_str());
    status = 1;
  }
  return status;
}

std::string taken(HRESULT hr, LPOLESTR text) {
  std::string value = SUCCEEDED(hr) && text != nullptr ? utf8(text) : "(" + resultName(hr) + ")";
  CoTaskMemFree(text);
  return value;
}

int about() {
  lookout::ComPtr<ISnapinAbout> about;
  HRESULT hr = CoCreateInstance(lookout::kClsidSnapinAbout, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ISnapinAbout, about.putVoid());
  if (FAILED(hr)) {
    std::fprintf(stderr, "consolehost: the About object cannot be made: %s\n",
                 resultName(hr).c_str());
    return 1;
  }
  LPOLESTR text = nullptr;
  hr = about->GetSnapinDescription(&text);
  print("description: " + taken(hr, text));
  text = nullptr;
  hr = about->GetProvider(&text);
  print("provider: " + taken(hr, text));
  text = nullptr;
  hr = about->GetSnapinVersion(&text);
  print("version: " + taken(hr, text));
  HICON icon = nullptr;
  hr = about->GetSnapinImage(&icon);
  print("image: " + resultName(hr) + (icon != nullptr ? " (an icon)" : ""));
  HBITMAP small = nullptr, open = nullptr, large = nullptr;
  COLORREF mask = 0;
  hr = about->GetStaticFolderImage(&small, &open, &large, &mask);
  char line[128];
  std::snprintf(line, sizeof line, "static folder images: %s, mask 0x%06lx", resultName(hr).c_str(),
                static_cast<unsigned long>(mask));
  print(line);
  return 0;
}

int shortcut(int argc, char** argv) {
  if (argc < 2) {
    usage();
    return 2;
  }
  ShortcutSpec spec;
  spec.target = argv[1];
  for (int i = 2; i < argc; ++i) {
    std::string* field = std::strcmp(argv[i], "--arguments") == 0     ? &spec.arguments
                         : std::strcmp(argv[i], "--directory") == 0   ? &spec.workingDirectory
                         : std::strcmp(argv[i], "--description") == 0 ? &spec.description
                                                                      : nullptr;
    if (field == nullptr || i + 1 >= argc) {
      usage();
      return 2;
    }
    *field = argv[++i];
  }
  HRESULT hr = makeShortcut(argv[0], spec);
  if (FAILED(hr)) {
    std::fprintf(stderr, "consolehost: %s cannot be written: %s\n", argv[0],
                 resultName(hr).c_str());
    return 1;
  }
  return 0;
}

}  // namespace
}  // namespace consolehost

int main(int argc, char** argv) {
  using namespace consolehost;
  if (argc < 2) {
    usage();
    return 2;
  }
  const std::string command = argv[1];
  if ((command == "register" || command == "unregister") && argc == 3) {
    return regsvr32(command == "register" ? "/s" : "/u /s", argv[2]);
  }
  if (command != "tree" && command != "shortcut" && !(command == "about" && argc == 2)) {
    usage();
    return 2;
  }
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    std::fprintf(stderr, "consolehost: COM cannot be initialised\n");
    return 1;
  }
  int status = command == "tree"       ? tree(argc - 2, argv + 2)
               : command == "shortcut" ? shortcut(argc - 2, argv + 2)
                                       : about();
  std::fflush(stdout);
  CoUninitialize();
  return status;
}
