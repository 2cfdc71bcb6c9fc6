// Plays the management console's part for one snap-in, through real COM: creates it with
// CoCreateInstance from its registration, hands it the recording console, and drives it the
// way the console does when a user opens the snap-in, expands its root and selects each folder.
// The calling thread must be in a single-threaded apartment (the snap-in is apartment-model).
#pragma once

#include <mmc.h>
#include <windows.h>

#include <string>
#include <vector>

#include "com_support.h"
#include "recording_console.h"

namespace consolehost {

struct TreeItem {
  MMC_COOKIE cookie = 0;
  std::wstring name;         // column 0
  std::wstring description;  // column 1
  int image = 0;
};

struct TreeFolder {
  ScopeItem scope;
  std::wstring name;
  int image = 0;
  std::vector<Column> columns;
  std::vector<TreeItem> items;
};

struct Tree {
  std::wstring rootName;
  std::vector<TreeFolder> folders;
};

// The text a data object gives for CCF_DISPLAY_NAME.
HRESULT displayNameOf(IDataObject* dataObject, std::wstring* name);

// The DllCanUnloadNow answer of the snap-in's library loaded in this process.
HRESULT snapinCanUnloadNow();

// "S_OK", "E_FAIL", ... or the number in hexadecimal.
std::string resultName(HRESULT hr);

class ConsoleSession {
 public:
  explicit ConsoleSession(RecordingConsole& console) : console_(console) {}
  ConsoleSession(const ConsoleSession&) = delete;
  ConsoleSession& operator=(const ConsoleSession&) = delete;
  ~ConsoleSession() { close(); }

  // Creates the snap-in and one view, and initialises both with the console.
  HRESULT open();
  // Expands the root and shows every folder it inserted: the tree the console would show.
  HRESULT showTree(Tree* tree);
  // Sends a result-pane notification for the node of `cookie` to the view.
  HRESULT notifyView(MMC_COOKIE cookie, MMC_NOTIFY_TYPE event, LPARAM arg, LPARAM param);
  // Destroys and releases the view and the snap-in, as the console does when it closes.
  void close();

  IComponentData* snapin() const { return snapin_.get(); }
  IComponent* view() const { return view_.get(); }

 private:
  HRESULT showFolder(TreeFolder* folder);
  void record(const std::string& call, HRESULT hr);

  RecordingConsole& console_;
  lookout::ComPtr<IComponentData> snapin_;
  lookout::ComPtr<IComponent> view_;
};

}  // namespace consolehost
