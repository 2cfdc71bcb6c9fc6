#include "snapin_about.h"

#include <cstdio>
#include <string>
#include <vector>

#include "module.h"
#include "resource_ids.h"
#include "texts.h"
#include "trace.h"
#include "unique_handle.h"

namespace lookout {
namespace {

// The library's own file version as "a.b.c.d". It is read from the file the library was loaded
// from: a search for the name would find another copy, or none, when the console does not start
// in the library's folder.
std::wstring moduleVersion() {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(moduleHandle(), path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  if (size == 0) return {};
  std::vector<unsigned char> block(size);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixedSize = 0;
  if (!GetFileVersionInfoW(path, 0, size, block.data()) ||
      !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize) ||
      fixed == nullptr || fixedSize < sizeof *fixed) {
    return {};
  }
  wchar_t text[64];
  std::swprintf(text, 64, L"%d.%d.%d.%d", HIWORD(fixed->dwFileVersionMS),
                LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
                LOWORD(fixed->dwFileVersionLS));
  return text;
}

void traceLastError() {
  char text[512] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 GetLastError(), 0, text, sizeof text, nullptr);
  trace("%s\r\n", text);
}

HBITMAP loadBitmap(UINT id) {
  return static_cast<HBITMAP>(
      LoadImageW(moduleHandle(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
}

class SnapinAbout final : public ComObject<ISnapinAbout> {
 public:
  // The images belong to this object: the console copies what it keeps.
  SnapinAbout()
      : icon_(static_cast<HICON>(LoadImageW(moduleHandle(), MAKEINTRESOURCEW(IDI_SNAPIN),
                                            IMAGE_ICON, 32, 32, LR_DEFAULTCOLOR))),
        small_(loadBitmap(IDB_STATIC_SMALL)),
        open_(loadBitmap(IDB_STATIC_OPEN)),
        large_(loadBitmap(IDB_STATIC_LARGE)) {
    if (!icon_) traceLastError();
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return queryInterfaceTable(iid, out, {{&IID_ISnapinAbout, static_cast<ISnapinAbout*>(this)}});
  }

  HRESULT STDMETHODCALLTYPE GetSnapinDescription(LPOLESTR* out) override {
    return taskMemoryCopy(loadText(IDS_DESCRIPTION), out);
  }
  HRESULT STDMETHODCALLTYPE GetProvider(LPOLESTR* out) override {
    return taskMemoryCopy(loadText(IDS_PROVIDER), out);
  }
  HRESULT STDMETHODCALLTYPE GetSnapinVersion(LPOLESTR* out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    const std::wstring version = moduleVersion();
    return version.empty() ? E_FAIL : taskMemoryCopy(version, out);
  }
  HRESULT STDMETHODCALLTYPE GetSnapinImage(HICON* out) override {
    if (out == nullptr) return E_POINTER;
    *out = icon_.get();
    return icon_ ? S_OK : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE GetStaticFolderImage(HBITMAP* small, HBITMAP* open, HBITMAP* large,
                                                 COLORREF* mask) override {
    if (small == nullptr || open == nullptr || large == nullptr || mask == nullptr) {
      return E_POINTER;
    }
    *small = small_.get();
    *open = open_.get();
    *large = large_.get();
    *mask = RGB(0xFF, 0xFF, 0xFF);
    return small_ && open_ && large_ ? S_OK : E_FAIL;
  }

 private:
  ferry::UniqueIcon icon_;
  ferry::UniqueBitmap small_;
  ferry::UniqueBitmap open_;
  ferry::UniqueBitmap large_;
};

}  // namespace

HRESULT createSnapinAbout(REFIID iid, void** out) { return createAndQuery<SnapinAbout>(iid, out); }

}  // namespace lookout
