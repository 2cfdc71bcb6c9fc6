#include "shortcuts.h"

#include <objbase.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>

#include "com_support.h"
#include "resource_ids.h"
#include "texts.h"
#include "trace.h"
#include "unique_handle.h"

namespace lookout {
namespace {

bool keyOpensForReading(const char* path) {
  ferry::UniqueKey key;
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

void copyBounded(char* to, size_t size, const char* from) { std::snprintf(to, size, "%s", from); }

// Paths are ANSI text in the system's code page, where a byte may be the trail of a double-byte
// character (code page 932's trail bytes include 0x41-0x5A and 0x5C): they are walked and
// compared character by character through the system, never byte by byte.
bool endsWithBackslash(const std::string& path) {
  if (path.empty()) return false;
  const char* end = path.c_str() + path.size();
  const char* last = CharPrevA(path.c_str(), end);
  return end - last == 1 && *last == '\\';
}

// True when `path` holds ".lnk" in any case, as the file system compares names.
bool hasLinkExtension(const char* path) {
  const int length = static_cast<int>(std::strlen(path));
  for (const char* at = path; *at != '\0'; at = CharNextA(at)) {
    if (length - (at - path) >= 4 &&
        CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, at, 4, ".lnk", 4) == CSTR_EQUAL) {
      return true;
    }
  }
  return false;
}

}  // namespace

Edition installedEdition() {
  if (keyOpensForReading("SOFTWARE\\Norvane\\Halyard Tidewell Backup\\Products")) {
    return Edition::kTidewell;
  }
  if (keyOpensForReading("SOFTWARE\\Norvane\\Halyard Enterprise Backup\\Products")) {
    return Edition::kEnterprise;
  }
  return Edition::kNone;
}

std::string startMenuFolder(Edition edition, FolderKind kind) {
  if (edition == Edition::kNone) return {};
  const bool tools = kind == FolderKind::kTools;
  const UINT id = edition == Edition::kTidewell ? (tools ? IDS_TOOLS_MENU_1 : IDS_AGENTS_MENU_1)
                                                : (tools ? IDS_TOOLS_MENU_2 : IDS_AGENTS_MENU_2);
  char programs[MAX_PATH];
  if (SHGetFolderPathA(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, programs) !=
      S_OK) {
    return {};
  }
  char folder[MAX_PATH];
  const std::string name = loadAnsiText(id);
  int length = std::snprintf(folder, sizeof folder, "%s\\NV\\Halyard\\%s", programs, name.c_str());
  if (length < 0 || static_cast<size_t>(length) >= sizeof folder) return {};
  return folder;
}

bool folderExists(const std::string& folder) {
  WIN32_FIND_DATAA found;
  ferry::UniqueFind find(FindFirstFileA((folder + "\\*.*").c_str(), &found));
  return find.valid();
}

std::vector<ShortcutRecord> getLinkFileName(const std::string& folder, size_t limit) {
  trace("Enter getLinkFileName() \r\n");
  std::vector<ShortcutRecord> records;
  std::string base = folder;
  if (!endsWithBackslash(base)) base += '\\';
  const std::string pattern = base + "*.*";
  trace("%s\r\n", pattern.c_str());

  WIN32_FIND_DATAA found;
  ferry::UniqueFind find(FindFirstFileA(pattern.c_str(), &found));
  if (find) {
    do {
      const std::string path = base + found.cFileName;
      trace("%s\r\n", path.c_str());
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
      if (records.size() >= limit) {
        trace("getLinkFileName(): %s is not shown: the folder shows at most %u shortcuts\r\n",
              path.c_str(), static_cast<unsigned>(limit));
        continue;
      }
      ShortcutRecord& record = records.emplace_back();
      record.position = static_cast<int>(records.size() - 1);
      copyBounded(record.name, sizeof record.name, found.cFileName);
      if (char* dot = std::strrchr(record.name, '.')) *dot = '\0';
      GetShortcutTarget(path.c_str(), &record);
      trace("%s\r\n", record.targetPath);
      trace("%s\r\n", record.arguments);
      trace("%s\r\n", record.description);
      trace("%s\r\n", record.workingDirectory);
      trace("Index=%d,i=%d\r\n", record.iconIndex, record.position);
    } while (FindNextFileA(find.get(), &found));
  }
  trace("Exit getLinkFileName() \r\n");
  return records;
}

void GetShortcutTarget(const char* path, ShortcutRecord* record) {
  trace("Enter GetShortcutTarget() \r\n");
  // The name as found, or with ".lnk" added when it does not carry it in any case. Never
  // lower-cased: the file system ignores the case anyway, and lowering a trail byte would name
  // another character, and another file.
  char linkPath[MAX_PATH];
  copyBounded(linkPath, sizeof linkPath, path);
  if (!hasLinkExtension(linkPath)) {
    std::strncat(linkPath, ".lnk", sizeof linkPath - std::strlen(linkPath) - 1);
  }

  // The console's thread has COM already; a thread in the other apartment model can still use
  // the shell link, it only must not uninitialise what it did not initialise.
  const HRESULT init = CoInitialize(nullptr);
  if (FAILED(init) && init != RPC_E_CHANGED_MODE) {
    trace("Enter GetShortcutTarget() from CoInitialize()\r\n");
    return;
  }
  ferry::ScopeExit uninitialise([init] {
    if (SUCCEEDED(init)) CoUninitialize();
  });

  {
    ComPtr<IShellLinkA> link;
    ComPtr<IPersistFile> file;
    wchar_t widePath[MAX_PATH];
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   link.putVoid())) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.putVoid())) &&
        MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, MAX_PATH) > 0 &&
        SUCCEEDED(file->Load(widePath, STGM_READ))) {
      const DWORD resolveFlags = SLR_NO_UI | SLR_INVOKE_MSI;
      link->Resolve(nullptr, resolveFlags);  // a link that stays broken keeps its stored target
      bool haveTarget = false;
      PIDLIST_ABSOLUTE items = nullptr;
      if (SUCCEEDED(link->GetIDList(&items)) && items != nullptr) {
        haveTarget = SHGetPathFromIDListA(items, record->targetPath) != FALSE;
        CoTaskMemFree(items);
      }
      if (!haveTarget) {
        record->targetPath[0] = '\0';
        link->Resolve(nullptr, resolveFlags);
        WIN32_FIND_DATAA data;
        if (FAILED(link->GetPath(record->targetPath, MAX_PATH, &data, SLGP_UNCPRIORITY))) {
          record->targetPath[0] = '\0';
        }
      }
      // A field the link cannot give stays empty.
      if (FAILED(link->GetArguments(record->arguments, sizeof record->arguments))) {
        record->arguments[0] = '\0';
      }
      if (FAILED(link->GetWorkingDirectory(record->workingDirectory, MAX_PATH))) {
        record->workingDirectory[0] = '\0';
      }
      if (FAILED(link->GetDescription(record->description, MAX_PATH))) {
        record->description[0] = '\0';
      }
      char iconFile[MAX_PATH];
      if (FAILED(link->GetIconLocation(iconFile, MAX_PATH, &record->iconIndex))) {
        record->iconIndex = 0;
      }
    }
  }
  trace("Exit GetShortcutTarget() \r\n");
}

}  // namespace lookout
