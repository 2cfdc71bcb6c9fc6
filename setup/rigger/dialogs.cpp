#include "dialogs.h"

#include <commctrl.h>

#include <cstdio>

#include "resource.h"
#include "rules/setup_text.h"
#include "setup_trace.h"

namespace ferry::setup {
namespace {

constexpr size_t kMaxFolder = kMaxStoredText - sizeof kAgentLibrary;  // "\ferryman.dll" fits

struct AccountFields {
  std::string machine;
  std::string code;
  std::string name;
  std::string password;
};

std::string itemText(HWND dialog, int id) {
  char buffer[1024] = {};
  UINT n = GetDlgItemTextA(dialog, id, buffer, sizeof buffer);
  return std::string(buffer, n);
}

void wipeItem(HWND dialog, int id) { SetDlgItemTextA(dialog, id, ""); }

void showPrompt(HWND dialog, const AccountFields& fields) {
  // The table's text has two %s; machine and code come from the registry, never a format.
  std::string prompt = messageText(IDS_ACCOUNT_PROMPT);
  for (const std::string& part :
       {fields.code, fields.machine.empty() ? std::string("this machine") : fields.machine}) {
    size_t at = prompt.find("%s");
    if (at != std::string::npos) prompt.replace(at, 2, part);
  }
  SetDlgItemTextA(dialog, IDC_PROMPT, prompt.c_str());
  SendDlgItemMessageA(dialog, IDC_ACCOUNT_NAME, EM_LIMITTEXT, kMaxAccountText, 0);
  SendDlgItemMessageA(dialog, IDC_ACCOUNT_PASSWORD, EM_LIMITTEXT, kMaxAccountText, 0);
  SetDlgItemTextA(dialog, IDC_ACCOUNT_NAME, fields.name.c_str());
  SetDlgItemTextA(dialog, IDC_ACCOUNT_PASSWORD, fields.password.c_str());
}

// False (and a notice) when the name is empty.
bool takeAccount(HWND dialog, AccountFields* fields) {
  std::string name = itemText(dialog, IDC_ACCOUNT_NAME);
  if (name.empty()) {
    MessageBoxA(dialog, messageText(IDS_ACCOUNT_REQUIRED).c_str(), nullptr, MB_OK | MB_ICONWARNING);
    SetFocus(GetDlgItem(dialog, IDC_ACCOUNT_NAME));
    return false;
  }
  fields->name = name;
  fields->password = itemText(dialog, IDC_ACCOUNT_PASSWORD);
  wipeItem(dialog, IDC_ACCOUNT_PASSWORD);
  return true;
}

INT_PTR CALLBACK accountProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* fields = reinterpret_cast<AccountFields*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      showPrompt(dialog, *reinterpret_cast<AccountFields*>(lParam));
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK && takeAccount(dialog, fields)) EndDialog(dialog, IDOK);
      if (LOWORD(wParam) == IDCANCEL) EndDialog(dialog, IDCANCEL);
      return TRUE;
  }
  return FALSE;
}

INT_PTR CALLBACK pageProc(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
  auto* fields = reinterpret_cast<AccountFields*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      auto* page = reinterpret_cast<PROPSHEETPAGEA*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, page->lParam);
      showPrompt(dialog, *reinterpret_cast<AccountFields*>(page->lParam));
      return TRUE;
    }
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lParam);
      if (header->code == PSN_KILLACTIVE || header->code == PSN_APPLY) {
        // Every page keeps what was typed; a page without an account may not be left.
        bool ok = takeAccount(dialog, fields);
        if (ok) SetDlgItemTextA(dialog, IDC_ACCOUNT_PASSWORD, fields->password.c_str());
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT,
                          header->code == PSN_APPLY ? (ok ? PSNRET_NOERROR : PSNRET_INVALID)
                                                    : (ok ? FALSE : TRUE));
        return TRUE;
      }
      return FALSE;
    }
  }
  return FALSE;
}

INT_PTR CALLBACK folderProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* folder = reinterpret_cast<std::string*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      SendDlgItemMessageA(dialog, IDC_FOLDER, EM_LIMITTEXT, kMaxFolder, 0);
      SetDlgItemTextA(dialog, IDC_FOLDER, reinterpret_cast<std::string*>(lParam)->c_str());
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        std::string typed = itemText(dialog, IDC_FOLDER);
        while (typed.size() > 3 && typed.back() == '\\') typed.pop_back();
        if (!isAgentFolderAcceptable(typed, kMaxFolder)) {
          MessageBoxA(dialog, messageText(IDS_BAD_FOLDER).c_str(), nullptr, MB_OK | MB_ICONWARNING);
          return TRUE;
        }
        *folder = typed;
        EndDialog(dialog, IDOK);
      }
      if (LOWORD(wParam) == IDCANCEL) EndDialog(dialog, IDCANCEL);
      return TRUE;
  }
  return FALSE;
}

void wipe(std::string* text) {
  if (!text->empty()) SecureZeroMemory(text->data(), text->size());
  text->clear();
}

// The notice and progress windows handle nothing themselves. A named CALLBACK: a lambda has the
// compiler's default convention, which on x86 is not the __stdcall the dialog manager calls.
INT_PTR CALLBACK statusProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

}  // namespace

bool accountDialog(HWND parent, const std::string& machine, const std::string& code,
                   std::string* name, std::string* password) {
  AccountFields fields{machine, code, *name, *password};
  INT_PTR result = DialogBoxParamA(riggerModule(), MAKEINTRESOURCEA(IDD_ACCOUNT), parent,
                                   accountProc, reinterpret_cast<LPARAM>(&fields));
  if (result != IDOK) {
    if (result == -1)
      setupTrace(0, "The account dialog cannot be shown (error %lu)", GetLastError());
    wipe(&fields.password);
    return false;
  }
  *name = fields.name;
  *password = fields.password;
  wipe(&fields.password);
  return true;
}

bool accountPropertySheet(HWND parent, const std::string& machine,
                          std::vector<ProfileInstallation>* accounts) {
  if (accounts->empty()) return false;
  std::vector<AccountFields> fields;
  for (const ProfileInstallation& entry : *accounts) {
    fields.push_back({machine, entry.code, entry.login, entry.password});
  }
  std::vector<std::string> titles;
  for (const ProfileInstallation& entry : *accounts) titles.push_back("Ingres " + entry.code);
  std::vector<PROPSHEETPAGEA> pages(fields.size());
  for (size_t i = 0; i < fields.size(); ++i) {
    PROPSHEETPAGEA& page = pages[i];
    page.dwSize = sizeof page;
    page.dwFlags = PSP_USETITLE;
    page.hInstance = riggerModule();
    page.pszTemplate = MAKEINTRESOURCEA(IDD_ACCOUNT_PAGE);
    page.pfnDlgProc = pageProc;
    page.pszTitle = titles[i].c_str();
    page.lParam = reinterpret_cast<LPARAM>(&fields[i]);
  }
  const std::string caption = messageText(IDS_SHEET_TITLE);
  PROPSHEETHEADERA header = {};
  header.dwSize = sizeof header;
  header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW;
  header.hwndParent = parent;
  header.hInstance = riggerModule();
  header.pszCaption = caption.c_str();
  header.nPages = static_cast<UINT>(pages.size());
  header.ppsp = pages.data();
  INT_PTR result = PropertySheetA(&header);
  bool ok = result > 0;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (ok && fields[i].name.empty()) ok = false;  // a page never visited has no account
    if (ok) {
      (*accounts)[i].login = fields[i].name;
      (*accounts)[i].password = fields[i].password;
    }
    wipe(&fields[i].password);
  }
  return ok;
}

bool agentFolderDialog(HWND parent, std::string* folder) {
  std::string chosen = *folder;
  INT_PTR result = DialogBoxParamA(riggerModule(), MAKEINTRESOURCEA(IDD_AGENT_FOLDER), parent,
                                   folderProc, reinterpret_cast<LPARAM>(&chosen));
  if (result != IDOK) return false;
  *folder = chosen;
  return true;
}

StatusWindow::StatusWindow(Kind kind, HWND parent, const std::string& text) {
  window_ = CreateDialogParamA(riggerModule(),
                               MAKEINTRESOURCEA(kind == Kind::kNotice ? IDD_NOTICE : IDD_PROGRESS),
                               parent, statusProc, 0);
  if (window_ == nullptr) return;  // the setup works on without its notice
  SetDlgItemTextA(window_, IDC_NOTICE_TEXT, text.c_str());
  if (kind == Kind::kProgress)
    SendDlgItemMessageA(window_, IDC_PROGRESS_BAR, PBM_SETMARQUEE, TRUE, 50);
  UpdateWindow(window_);
}

StatusWindow::~StatusWindow() {
  if (window_ != nullptr) DestroyWindow(window_);
}

}  // namespace ferry::setup
