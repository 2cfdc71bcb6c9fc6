// rigger's dialogs: the account dialog, the per-installation account property sheet, the agent
// folder dialog, and the notice and progress windows shown while the setup works. Callers never
// use them in silent runs.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "setup_files.h"

namespace ferry::setup {

// True on OK with a non-empty account; *name and *password give the starting values.
bool accountDialog(HWND parent, const std::string& machine, const std::string& code,
                   std::string* name, std::string* password);
// One page per installation; true on OK (every page has an account), the accounts updated.
bool accountPropertySheet(HWND parent, const std::string& machine,
                          std::vector<ProfileInstallation>* accounts);
// True on OK with an acceptable folder in *folder.
bool agentFolderDialog(HWND parent, std::string* folder);

// A modeless window with one line of text (and, for progress, a moving bar) while it lives.
class StatusWindow {
 public:
  enum class Kind { kNotice, kProgress };
  StatusWindow(Kind kind, HWND parent, const std::string& text);
  ~StatusWindow();
  StatusWindow(const StatusWindow&) = delete;
  StatusWindow& operator=(const StatusWindow&) = delete;
  HWND window() const { return window_; }

 private:
  HWND window_ = nullptr;
};

}  // namespace ferry::setup
