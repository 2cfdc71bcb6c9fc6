// DllRegisterServer and DllUnregisterServer: the two COM classes below HKCR\CLSID and the
// snap-in's console registration below HKLM\SOFTWARE\Microsoft\MMC\SnapIns.
//
// Registration either writes everything or, when one write fails, removes what it wrote and
// returns that failure, so that regsvr32 never reports a snap-in the console cannot load.
#include <windows.h>

#include <string>

#include "guids.h"
#include "module.h"
#include "resource_ids.h"
#include "texts.h"
#include "unique_handle.h"

namespace lookout {
namespace {

std::wstring braced(const GUID& id) {
  wchar_t text[40];
  StringFromGUID2(id, text, 40);
  return text;
}

std::wstring classKey(const CLSID& clsid) { return L"CLSID\\" + braced(clsid); }

std::wstring consoleKey() {
  return L"SOFTWARE\\Microsoft\\MMC\\SnapIns\\" + braced(kClsidSnapinData);
}

LSTATUS createKey(HKEY parent, const std::wstring& path, ferry::UniqueKey* key) {
  return RegCreateKeyExW(parent, path.c_str(), 0, /*class=*/nullptr, REG_OPTION_NON_VOLATILE,
                         KEY_WRITE, /*security=*/nullptr, key->put(), /*disposition=*/nullptr);
}

LSTATUS setString(HKEY key, const wchar_t* name, const std::wstring& value) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

LSTATUS registerClass(const CLSID& clsid, UINT nameId, const std::wstring& libraryPath) {
  ferry::UniqueKey key, server;
  LSTATUS status = createKey(HKEY_CLASSES_ROOT, classKey(clsid), &key);
  if (status == ERROR_SUCCESS) status = setString(key.get(), nullptr, loadText(nameId));
  if (status == ERROR_SUCCESS) status = createKey(key.get(), L"InprocServer32", &server);
  if (status == ERROR_SUCCESS) status = setString(server.get(), nullptr, libraryPath);
  if (status == ERROR_SUCCESS) status = setString(server.get(), L"ThreadingModel", L"Apartment");
  return status;
}

// A stand-alone snap-in with its About class; no node types, since no other snap-in extends it.
LSTATUS registerWithConsole() {
  ferry::UniqueKey key, standAlone;
  LSTATUS status = createKey(HKEY_LOCAL_MACHINE, consoleKey(), &key);
  if (status == ERROR_SUCCESS)
    status = setString(key.get(), L"NameString", loadText(IDS_ROOT_NAME));
  if (status == ERROR_SUCCESS) status = setString(key.get(), L"About", braced(kClsidSnapinAbout));
  if (status == ERROR_SUCCESS) status = createKey(key.get(), L"StandAlone", &standAlone);
  return status;
}

// The key with everything below it; a key that is not there is already removed.
LSTATUS deleteTree(HKEY root, const std::wstring& path) {
  LSTATUS status = RegDeleteTreeW(root, path.c_str());
  return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

}  // namespace
}  // namespace lookout

STDAPI DllUnregisterServer() {
  using namespace lookout;
  const LSTATUS snapin = deleteTree(HKEY_CLASSES_ROOT, classKey(kClsidSnapinData));
  const LSTATUS about = deleteTree(HKEY_CLASSES_ROOT, classKey(kClsidSnapinAbout));
  const LSTATUS console = deleteTree(HKEY_LOCAL_MACHINE, consoleKey());
  return snapin == ERROR_SUCCESS && about == ERROR_SUCCESS && console == ERROR_SUCCESS ? S_OK
                                                                                       : E_FAIL;
}

STDAPI DllRegisterServer() {
  using namespace lookout;
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(moduleHandle(), path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
  LSTATUS status = registerClass(kClsidSnapinData, IDS_PROVIDER, path);
  if (status == ERROR_SUCCESS) status = registerClass(kClsidSnapinAbout, IDS_ABOUT_CLASS, path);
  if (status == ERROR_SUCCESS) status = registerWithConsole();
  if (status != ERROR_SUCCESS) {
    DllUnregisterServer();  // what was written goes; the write's failure is what counts
    return HRESULT_FROM_WIN32(status);
  }
  return S_OK;
}
