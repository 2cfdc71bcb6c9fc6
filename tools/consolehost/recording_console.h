// The management console's side of the snap-in, as far as a snap-in sees it: the console
// interfaces it is given (IConsole2, IConsoleNameSpace2, IHeaderCtrl2, IResultData and the two
// IImageList of the scope and result panes). Every call is recorded, one line each, and what the
// snap-in inserts is kept: scope items, result columns and result items.
//
// The objects belong to their owner, not to COM: references only count what the snap-in holds,
// so that the host can check that it gave every one back.
#pragma once

#include <mmc.h>
#include <windows.h>

#include <string>
#include <vector>

namespace consolehost {

// UTF-16 to UTF-8, for printing and for recorded lines.
std::string utf8(const std::wstring& text);

class CallLog {
 public:
  void add(const std::string& line) { lines_.push_back(line); }
  const std::vector<std::string>& lines() const { return lines_; }
  // The first line that starts with `prefix`, or -1.
  int find(const std::string& prefix, size_t from = 0) const;
  std::string text() const;

 private:
  std::vector<std::string> lines_;
};

struct ScopeItem {
  HSCOPEITEM id = 0;
  HSCOPEITEM parent = 0;
  LPARAM cookie = 0;
  int image = 0;
  int openImage = 0;
  int children = 0;
};

struct Column {
  int index = 0;
  std::wstring title;
  int format = 0;
  int width = 0;
};

struct ResultItem {
  HRESULTITEM id = 0;
  LPARAM cookie = 0;
  int image = 0;
};

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"  // never deleted through an interface

class RecordingImageList final : public IImageList {
 public:
  RecordingImageList(CallLog& log, const char* pane) : log_(log), pane_(pane) {}
  LONG references() const { return references_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE ImageListSetIcon(LONG_PTR* icon, long location) override;
  HRESULT STDMETHODCALLTYPE ImageListSetStrip(LONG_PTR* small, LONG_PTR* large, long start,
                                              COLORREF mask) override;

 private:
  CallLog& log_;
  const char* pane_;
  LONG references_ = 0;
};

class RecordingConsole final : public IConsole2,
                               public IConsoleNameSpace2,
                               public IHeaderCtrl2,
                               public IResultData {
 public:
  // The static node, which the console inserts itself.
  static constexpr HSCOPEITEM kRootItem = 1;

  RecordingConsole();

  CallLog& log() { return log_; }
  const std::vector<ScopeItem>& scopeItems() const { return scopeItems_; }
  const std::vector<Column>& columns() const { return columns_; }
  const std::vector<ResultItem>& resultItems() const { return resultItems_; }
  RecordingImageList& resultImages() { return resultImages_; }
  // References the snap-in holds on the console and its image lists.
  LONG references() const {
    return references_ + scopeImages_.references() + resultImages_.references();
  }
  // Empties the result pane's record, as the console does when another node is selected.
  void clearResultPane();

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IConsole, IConsole2
  HRESULT STDMETHODCALLTYPE SetHeader(LPHEADERCTRL header) override;
  HRESULT STDMETHODCALLTYPE SetToolbar(LPTOOLBAR) override;
  HRESULT STDMETHODCALLTYPE QueryResultView(LPUNKNOWN*) override;
  HRESULT STDMETHODCALLTYPE QueryScopeImageList(LPIMAGELIST* out) override;
  HRESULT STDMETHODCALLTYPE QueryResultImageList(LPIMAGELIST* out) override;
  HRESULT STDMETHODCALLTYPE UpdateAllViews(LPDATAOBJECT, LPARAM, LONG_PTR) override;
  HRESULT STDMETHODCALLTYPE MessageBox(LPCWSTR, LPCWSTR, UINT, int*) override;
  HRESULT STDMETHODCALLTYPE QueryConsoleVerb(LPCONSOLEVERB*) override;
  HRESULT STDMETHODCALLTYPE SelectScopeItem(HSCOPEITEM) override;
  HRESULT STDMETHODCALLTYPE GetMainWindow(HWND*) override;
  HRESULT STDMETHODCALLTYPE NewWindow(HSCOPEITEM, unsigned long) override;
  HRESULT STDMETHODCALLTYPE Expand(HSCOPEITEM, BOOL) override;
  HRESULT STDMETHODCALLTYPE IsTaskpadViewPreferred() override;
  HRESULT STDMETHODCALLTYPE SetStatusText(LPOLESTR) override;

  // IConsoleNameSpace, IConsoleNameSpace2
  HRESULT STDMETHODCALLTYPE InsertItem(LPSCOPEDATAITEM item) override;
  HRESULT STDMETHODCALLTYPE DeleteItem(HSCOPEITEM, long) override;
  HRESULT STDMETHODCALLTYPE SetItem(LPSCOPEDATAITEM) override;
  HRESULT STDMETHODCALLTYPE GetItem(LPSCOPEDATAITEM) override;
  HRESULT STDMETHODCALLTYPE GetChildItem(HSCOPEITEM, HSCOPEITEM*, MMC_COOKIE*) override;
  HRESULT STDMETHODCALLTYPE GetNextItem(HSCOPEITEM, HSCOPEITEM*, MMC_COOKIE*) override;
  HRESULT STDMETHODCALLTYPE GetParentItem(HSCOPEITEM, HSCOPEITEM*, MMC_COOKIE*) override;
  HRESULT STDMETHODCALLTYPE Expand(HSCOPEITEM) override;
  HRESULT STDMETHODCALLTYPE AddExtension(HSCOPEITEM, LPCLSID) override;

  // IHeaderCtrl, IHeaderCtrl2
  HRESULT STDMETHODCALLTYPE InsertColumn(int column, LPCWSTR title, int format, int width) override;
  HRESULT STDMETHODCALLTYPE DeleteColumn(int) override;
  HRESULT STDMETHODCALLTYPE SetColumnText(int, LPCWSTR) override;
  HRESULT STDMETHODCALLTYPE GetColumnText(int, LPOLESTR*) override;
  HRESULT STDMETHODCALLTYPE SetColumnWidth(int, int) override;
  HRESULT STDMETHODCALLTYPE GetColumnWidth(int, int*) override;
  HRESULT STDMETHODCALLTYPE SetChangeTimeOut(unsigned long) override;
  HRESULT STDMETHODCALLTYPE SetColumnFilter(UINT, DWORD, MMC_FILTERDATA*) override;
  HRESULT STDMETHODCALLTYPE GetColumnFilter(UINT, LPDWORD, MMC_FILTERDATA*) override;

  // IResultData
  HRESULT STDMETHODCALLTYPE InsertItem(LPRESULTDATAITEM item) override;
  HRESULT STDMETHODCALLTYPE DeleteItem(HRESULTITEM, int) override;
  HRESULT STDMETHODCALLTYPE FindItemByLParam(LPARAM, HRESULTITEM*) override;
  HRESULT STDMETHODCALLTYPE DeleteAllRsltItems() override;
  HRESULT STDMETHODCALLTYPE SetItem(LPRESULTDATAITEM) override;
  HRESULT STDMETHODCALLTYPE GetItem(LPRESULTDATAITEM) override;
  HRESULT STDMETHODCALLTYPE GetNextItem(LPRESULTDATAITEM) override;
  HRESULT STDMETHODCALLTYPE ModifyItemState(int, HRESULTITEM, UINT, UINT) override;
  HRESULT STDMETHODCALLTYPE ModifyViewStyle(MMC_RESULT_VIEW_STYLE, MMC_RESULT_VIEW_STYLE) override;
  HRESULT STDMETHODCALLTYPE SetViewMode(long) override;
  HRESULT STDMETHODCALLTYPE GetViewMode(long*) override;
  HRESULT STDMETHODCALLTYPE UpdateItem(HRESULTITEM) override;
  HRESULT STDMETHODCALLTYPE Sort(int, DWORD, LPARAM) override;
  HRESULT STDMETHODCALLTYPE SetDescBarText(LPOLESTR) override;
  HRESULT STDMETHODCALLTYPE SetItemCount(int, DWORD) override;

 private:
  HRESULT notImplemented(const char* call);

  CallLog log_;
  RecordingImageList scopeImages_;
  RecordingImageList resultImages_;
  LONG references_ = 0;
  HSCOPEITEM nextScopeId_ = kRootItem + 1;
  HRESULTITEM nextResultId_ = 1;
  std::vector<ScopeItem> scopeItems_;
  std::vector<Column> columns_;
  std::vector<ResultItem> resultItems_;
};

#pragma GCC diagnostic pop

}  // namespace consolehost
