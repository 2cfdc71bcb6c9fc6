#include "shortcut_file.h"

#include <objbase.h>
#include <shlobj.h>

#include "com_support.h"

namespace consolehost {

HRESULT makeShortcut(const std::string& path, const ShortcutSpec& spec) {
  lookout::ComPtr<IShellLinkA> link;
  HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                link.putVoid());
  if (SUCCEEDED(hr)) hr = link->SetPath(spec.target.c_str());
  if (SUCCEEDED(hr) && !spec.arguments.empty()) hr = link->SetArguments(spec.arguments.c_str());
  if (SUCCEEDED(hr) && !spec.workingDirectory.empty()) {
    hr = link->SetWorkingDirectory(spec.workingDirectory.c_str());
  }
  if (SUCCEEDED(hr) && !spec.description.empty()) {
    hr = link->SetDescription(spec.description.c_str());
  }
  lookout::ComPtr<IPersistFile> file;
  if (SUCCEEDED(hr)) hr = link->QueryInterface(IID_IPersistFile, file.putVoid());
  wchar_t widePath[MAX_PATH];
  if (SUCCEEDED(hr) && MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, widePath, MAX_PATH) == 0) {
    hr = HRESULT_FROM_WIN32(GetLastError());
  }
  if (SUCCEEDED(hr)) hr = file->Save(widePath, TRUE);
  return hr;
}

}  // namespace consolehost
