#include "recording_console.h"

#include <cstdarg>
#include <cstdio>

#include "com_support.h"
#include "unique_handle.h"

namespace consolehost {
namespace {

std::string format(const char* pattern, ...) __attribute__((format(gnu_printf, 1, 2)));
std::string format(const char* pattern, ...) {
  char line[1024];
  va_list args;
  va_start(args, pattern);
  std::vsnprintf(line, sizeof line, pattern, args);
  va_end(args);
  return line;
}

std::string hex(LONG_PTR value) { return format("0x%llx", static_cast<unsigned long long>(value)); }

// A text the snap-in passes: "callback" for MMC_CALLBACK, else the text in quotes.
std::string textArgument(const wchar_t* text) {
  if (text == reinterpret_cast<const wchar_t*>(MMC_CALLBACK)) return "callback";
  if (text == nullptr) return "null";
  return "\"" + utf8(text) + "\"";
}

// Width and height of a bitmap handle, "none" when it is not one.
std::string bitmapSize(LONG_PTR handle) {
  BITMAP bitmap{};
  if (GetObjectW(reinterpret_cast<HBITMAP>(handle), sizeof bitmap, &bitmap) == 0) return "none";
  return format("%ldx%ld", bitmap.bmWidth, bitmap.bmHeight);
}

std::string iconSize(LONG_PTR handle) {
  ICONINFO info{};
  if (!GetIconInfo(reinterpret_cast<HICON>(handle), &info)) return "none";
  // Copies made for the caller.
  ferry::UniqueBitmap color(info.hbmColor);
  ferry::UniqueBitmap mask(info.hbmMask);
  BITMAP bitmap{};
  GetObjectW(color ? color.get() : mask.get(), sizeof bitmap, &bitmap);
  return format("%ldx%ld", bitmap.bmWidth, bitmap.bmHeight);
}

}  // namespace

std::string utf8(const std::wstring& text) {
  if (text.empty()) return {};
  int needed = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
  std::string out(static_cast<size_t>(needed), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), needed,
                      nullptr, nullptr);
  return out;
}

int CallLog::find(const std::string& prefix, size_t from) const {
  for (size_t i = from; i < lines_.size(); ++i) {
    if (lines_[i].rfind(prefix, 0) == 0) return static_cast<int>(i);
  }
  return -1;
}

std::string CallLog::text() const {
  std::string all;
  for (const std::string& line : lines_) all += line + "\n";
  return all;
}

// ---- RecordingImageList ----

HRESULT RecordingImageList::QueryInterface(REFIID iid, void** out) {
  return lookout::queryInterfaceTable(iid, out, {{&IID_IImageList, this}});
}
ULONG RecordingImageList::AddRef() { return static_cast<ULONG>(++references_); }
ULONG RecordingImageList::Release() { return static_cast<ULONG>(--references_); }

HRESULT RecordingImageList::ImageListSetIcon(LONG_PTR* icon, long location) {
  const long position = location & ~(ILSIF_LEAVE_LARGE_ICON | ILSIF_LEAVE_SMALL_ICON);
  const char* sizes = (location & ILSIF_LEAVE_LARGE_ICON) != 0   ? "small only"
                      : (location & ILSIF_LEAVE_SMALL_ICON) != 0 ? "large only"
                                                                 : "both sizes";
  log_.add(format("IImageList(%s)::ImageListSetIcon(icon %s, position %ld, %s)", pane_,
                  iconSize(reinterpret_cast<LONG_PTR>(icon)).c_str(), position, sizes));
  return S_OK;
}

HRESULT RecordingImageList::ImageListSetStrip(LONG_PTR* small, LONG_PTR* large, long start,
                                              COLORREF mask) {
  log_.add(format("IImageList(%s)::ImageListSetStrip(small %s, large %s, start %ld, mask 0x%06lx)",
                  pane_, bitmapSize(reinterpret_cast<LONG_PTR>(small)).c_str(),
                  bitmapSize(reinterpret_cast<LONG_PTR>(large)).c_str(), start,
                  static_cast<unsigned long>(mask)));
  return S_OK;
}

// ---- RecordingConsole: IUnknown and IConsole2 ----

RecordingConsole::RecordingConsole() : scopeImages_(log_, "scope"), resultImages_(log_, "result") {}

void RecordingConsole::clearResultPane() {
  columns_.clear();
  resultItems_.clear();
}

HRESULT RecordingConsole::notImplemented(const char* call) {
  log_.add(format("%s (not implemented here)", call));
  return E_NOTIMPL;
}

HRESULT RecordingConsole::QueryInterface(REFIID iid, void** out) {
  HRESULT hr = lookout::queryInterfaceTable(
      iid, out,
      {{&IID_IConsole2, static_cast<IConsole2*>(this)},
       {&IID_IConsole, static_cast<IConsole2*>(this)},
       {&IID_IConsoleNameSpace2, static_cast<IConsoleNameSpace2*>(this)},
       {&IID_IConsoleNameSpace, static_cast<IConsoleNameSpace2*>(this)},
       {&IID_IHeaderCtrl2, static_cast<IHeaderCtrl2*>(this)},
       {&IID_IHeaderCtrl, static_cast<IHeaderCtrl2*>(this)},
       {&IID_IResultData, static_cast<IResultData*>(this)}});
  if (FAILED(hr)) {
    wchar_t text[40];
    StringFromGUID2(iid, text, 40);
    log_.add("QueryInterface(" + utf8(text) + ") -> E_NOINTERFACE");
  }
  return hr;
}
ULONG RecordingConsole::AddRef() { return static_cast<ULONG>(++references_); }
ULONG RecordingConsole::Release() { return static_cast<ULONG>(--references_); }

HRESULT RecordingConsole::SetHeader(LPHEADERCTRL header) {
  log_.add(
      format("IConsole::SetHeader(%s)", header == static_cast<IHeaderCtrl2*>(this)
                                            ? "this console's header"
                                            : hex(reinterpret_cast<LONG_PTR>(header)).c_str()));
  return S_OK;
}
HRESULT RecordingConsole::SetToolbar(LPTOOLBAR) { return notImplemented("IConsole::SetToolbar"); }
HRESULT RecordingConsole::QueryResultView(LPUNKNOWN*) {
  return notImplemented("IConsole::QueryResultView");
}
HRESULT RecordingConsole::QueryScopeImageList(LPIMAGELIST* out) {
  log_.add("IConsole::QueryScopeImageList");
  if (out == nullptr) return E_POINTER;
  scopeImages_.AddRef();
  *out = &scopeImages_;
  return S_OK;
}
HRESULT RecordingConsole::QueryResultImageList(LPIMAGELIST* out) {
  log_.add("IConsole::QueryResultImageList");
  if (out == nullptr) return E_POINTER;
  resultImages_.AddRef();
  *out = &resultImages_;
  return S_OK;
}
HRESULT RecordingConsole::UpdateAllViews(LPDATAOBJECT, LPARAM, LONG_PTR) {
  return notImplemented("IConsole::UpdateAllViews");
}
HRESULT RecordingConsole::MessageBox(LPCWSTR text, LPCWSTR title, UINT, int* result) {
  log_.add("IConsole::MessageBox(" + textArgument(title) + ", " + textArgument(text) + ")");
  if (result != nullptr) *result = IDOK;
  return S_OK;
}
HRESULT RecordingConsole::QueryConsoleVerb(LPCONSOLEVERB*) {
  return notImplemented("IConsole::QueryConsoleVerb");
}
HRESULT RecordingConsole::SelectScopeItem(HSCOPEITEM) {
  return notImplemented("IConsole::SelectScopeItem");
}
HRESULT RecordingConsole::GetMainWindow(HWND* window) {
  log_.add("IConsole::GetMainWindow");
  if (window != nullptr) *window = nullptr;  // no window: the host has no user interface
  return S_OK;
}
HRESULT RecordingConsole::NewWindow(HSCOPEITEM, unsigned long) {
  return notImplemented("IConsole::NewWindow");
}
HRESULT RecordingConsole::Expand(HSCOPEITEM, BOOL) { return notImplemented("IConsole2::Expand"); }
HRESULT RecordingConsole::IsTaskpadViewPreferred() {
  log_.add("IConsole2::IsTaskpadViewPreferred");
  return S_FALSE;
}
HRESULT RecordingConsole::SetStatusText(LPOLESTR text) {
  log_.add("IConsole2::SetStatusText(" + textArgument(text) + ")");
  return S_OK;
}

// ---- IConsoleNameSpace2 ----

HRESULT RecordingConsole::InsertItem(LPSCOPEDATAITEM item) {
  if (item == nullptr) return E_POINTER;
  ScopeItem inserted;
  inserted.id = nextScopeId_++;
  inserted.parent = item->relativeID;
  inserted.cookie = (item->mask & SDI_PARAM) != 0 ? item->lParam : 0;
  inserted.image = (item->mask & SDI_IMAGE) != 0 ? item->nImage : -1;
  inserted.openImage = (item->mask & SDI_OPENIMAGE) != 0 ? item->nOpenImage : -1;
  inserted.children = (item->mask & SDI_CHILDREN) != 0 ? item->cChildren : -1;
  const char* relation = (item->mask & SDI_PREVIOUS) != 0 ? "after"
                         : (item->mask & SDI_NEXT) != 0   ? "before"
                                                          : "parent";
  log_.add(
      format("IConsoleNameSpace::InsertItem(%s %lld, text %s, image %d, open image %d, "
             "children %d, cookie %s) -> item %lld",
             relation, static_cast<long long>(inserted.parent),
             (item->mask & SDI_STR) != 0 ? textArgument(item->displayname).c_str() : "none",
             inserted.image, inserted.openImage, inserted.children, hex(inserted.cookie).c_str(),
             static_cast<long long>(inserted.id)));
  item->ID = inserted.id;
  scopeItems_.push_back(inserted);
  return S_OK;
}
HRESULT RecordingConsole::DeleteItem(HSCOPEITEM, long) {
  return notImplemented("IConsoleNameSpace::DeleteItem");
}
HRESULT RecordingConsole::SetItem(LPSCOPEDATAITEM) {
  return notImplemented("IConsoleNameSpace::SetItem");
}
HRESULT RecordingConsole::GetItem(LPSCOPEDATAITEM) {
  return notImplemented("IConsoleNameSpace::GetItem");
}
HRESULT RecordingConsole::GetChildItem(HSCOPEITEM, HSCOPEITEM*, MMC_COOKIE*) {
  return notImplemented("IConsoleNameSpace::GetChildItem");
}
HRESULT RecordingConsole::GetNextItem(HSCOPEITEM, HSCOPEITEM*, MMC_COOKIE*) {
  return notImplemented("IConsoleNameSpace::GetNextItem");
}
HRESULT RecordingConsole::GetParentItem(HSCOPEITEM, HSCOPEITEM*, MMC_COOKIE*) {
  return notImplemented("IConsoleNameSpace::GetParentItem");
}
HRESULT RecordingConsole::Expand(HSCOPEITEM) {
  return notImplemented("IConsoleNameSpace2::Expand");
}
HRESULT RecordingConsole::AddExtension(HSCOPEITEM, LPCLSID) {
  return notImplemented("IConsoleNameSpace2::AddExtension");
}

// ---- IHeaderCtrl2 ----

HRESULT RecordingConsole::InsertColumn(int column, LPCWSTR title, int format_, int width) {
  log_.add(format("IHeaderCtrl::InsertColumn(%d, %s, format %d, width %d)", column,
                  textArgument(title).c_str(), format_, width));
  columns_.push_back({column, title != nullptr ? title : L"", format_, width});
  return S_OK;
}
HRESULT RecordingConsole::DeleteColumn(int) { return notImplemented("IHeaderCtrl::DeleteColumn"); }
HRESULT RecordingConsole::SetColumnText(int, LPCWSTR) {
  return notImplemented("IHeaderCtrl::SetColumnText");
}
HRESULT RecordingConsole::GetColumnText(int, LPOLESTR*) {
  return notImplemented("IHeaderCtrl::GetColumnText");
}
HRESULT RecordingConsole::SetColumnWidth(int, int) {
  return notImplemented("IHeaderCtrl::SetColumnWidth");
}
HRESULT RecordingConsole::GetColumnWidth(int, int*) {
  return notImplemented("IHeaderCtrl::GetColumnWidth");
}
HRESULT RecordingConsole::SetChangeTimeOut(unsigned long) {
  return notImplemented("IHeaderCtrl2::SetChangeTimeOut");
}
HRESULT RecordingConsole::SetColumnFilter(UINT, DWORD, MMC_FILTERDATA*) {
  return notImplemented("IHeaderCtrl2::SetColumnFilter");
}
HRESULT RecordingConsole::GetColumnFilter(UINT, LPDWORD, MMC_FILTERDATA*) {
  return notImplemented("IHeaderCtrl2::GetColumnFilter");
}

// ---- IResultData ----

HRESULT RecordingConsole::InsertItem(LPRESULTDATAITEM item) {
  if (item == nullptr) return E_POINTER;
  ResultItem inserted;
  inserted.id = nextResultId_++;
  inserted.cookie = (item->mask & RDI_PARAM) != 0 ? item->lParam : 0;
  inserted.image = (item->mask & RDI_IMAGE) != 0 ? item->nImage : -1;
  log_.add(format("IResultData::InsertItem(text %s, image %d, cookie %s) -> item %lld",
                  (item->mask & RDI_STR) != 0 ? textArgument(item->str).c_str() : "none",
                  inserted.image, hex(inserted.cookie).c_str(),
                  static_cast<long long>(inserted.id)));
  item->itemID = inserted.id;
  resultItems_.push_back(inserted);
  return S_OK;
}
HRESULT RecordingConsole::DeleteItem(HRESULTITEM, int) {
  return notImplemented("IResultData::DeleteItem");
}
HRESULT RecordingConsole::FindItemByLParam(LPARAM, HRESULTITEM*) {
  return notImplemented("IResultData::FindItemByLParam");
}
HRESULT RecordingConsole::DeleteAllRsltItems() {
  log_.add("IResultData::DeleteAllRsltItems");
  resultItems_.clear();
  return S_OK;
}
HRESULT RecordingConsole::SetItem(LPRESULTDATAITEM) {
  return notImplemented("IResultData::SetItem");
}
HRESULT RecordingConsole::GetItem(LPRESULTDATAITEM) {
  return notImplemented("IResultData::GetItem");
}
HRESULT RecordingConsole::GetNextItem(LPRESULTDATAITEM) {
  return notImplemented("IResultData::GetNextItem");
}
HRESULT RecordingConsole::ModifyItemState(int, HRESULTITEM, UINT, UINT) {
  return notImplemented("IResultData::ModifyItemState");
}
HRESULT RecordingConsole::ModifyViewStyle(MMC_RESULT_VIEW_STYLE, MMC_RESULT_VIEW_STYLE) {
  return notImplemented("IResultData::ModifyViewStyle");
}
HRESULT RecordingConsole::SetViewMode(long) { return notImplemented("IResultData::SetViewMode"); }
HRESULT RecordingConsole::GetViewMode(long*) { return notImplemented("IResultData::GetViewMode"); }
HRESULT RecordingConsole::UpdateItem(HRESULTITEM) {
  return notImplemented("IResultData::UpdateItem");
}
HRESULT RecordingConsole::Sort(int, DWORD, LPARAM) { return notImplemented("IResultData::Sort"); }
HRESULT RecordingConsole::SetDescBarText(LPOLESTR text) {
  log_.add("IResultData::SetDescBarText(" + textArgument(text) + ")");
  return S_OK;
}
HRESULT RecordingConsole::SetItemCount(int, DWORD) {
  return notImplemented("IResultData::SetItemCount");
}

}  // namespace consolehost
