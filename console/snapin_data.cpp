#include "snapin_data.h"

#include "node_data_object.h"
#include "node_table.h"
#include "resource_ids.h"
#include "snapin_view.h"
#include "unique_handle.h"

namespace lookout {
namespace {

constexpr COLORREF kTransparent = RGB(0xFF, 0xFF, 0xFF);

// The scope pane's image strip. The console copies the bitmaps into its own list, so ours go
// again right after.
void setScopeImages(IConsole2* console) {
  ComPtr<IImageList> images;
  if (FAILED(console->QueryScopeImageList(images.put())) || !images) return;
  ferry::UniqueBitmap small(LoadBitmapW(moduleHandle(), MAKEINTRESOURCEW(IDB_SCOPE_SMALL)));
  ferry::UniqueBitmap large(LoadBitmapW(moduleHandle(), MAKEINTRESOURCEW(IDB_SCOPE_LARGE)));
  if (small && large) {
    images->ImageListSetStrip(reinterpret_cast<LONG_PTR*>(small.get()),
                              reinterpret_cast<LONG_PTR*>(large.get()), 0, kTransparent);
  }
}

}  // namespace

Node* nodeOfCookie(const SnapinData& snapin, MMC_COOKIE cookie) {
  return cookie == 0 ? snapin.root() : node_table::find(cookie);
}

SnapinData::SnapinData() : root_(std::make_unique<RootNode>()) {}

HRESULT SnapinData::QueryInterface(REFIID iid, void** out) {
  return queryInterfaceTable(iid, out, {{&IID_IComponentData, static_cast<IComponentData*>(this)}});
}

HRESULT SnapinData::Initialize(LPUNKNOWN console) {
  if (console == nullptr) return E_POINTER;
  HRESULT hr = console->QueryInterface(IID_IConsole2, console_.putVoid());
  if (SUCCEEDED(hr)) hr = console->QueryInterface(IID_IConsoleNameSpace2, nameSpace_.putVoid());
  if (FAILED(hr)) {
    console_.reset();
    nameSpace_.reset();
    return hr;
  }
  setScopeImages(console_.get());
  return S_OK;
}

HRESULT SnapinData::CreateComponent(LPCOMPONENT* out) { return createSnapinView(this, out); }

HRESULT SnapinData::Notify(LPDATAOBJECT dataObject, MMC_NOTIFY_TYPE event, LPARAM arg,
                           LPARAM param) {
  if (event != MMCN_EXPAND) return S_FALSE;
  Node* node = nodeOfDataObject(dataObject);
  if (node == nullptr) return S_FALSE;
  if (arg == FALSE) return S_OK;  // collapsing: the items stay where they are
  return node->expand(nameSpace_.get(), static_cast<HSCOPEITEM>(param));
}

HRESULT SnapinData::Destroy() {
  console_.reset();
  nameSpace_.reset();
  return S_OK;
}

HRESULT SnapinData::QueryDataObject(MMC_COOKIE cookie, DATA_OBJECT_TYPES, LPDATAOBJECT* out) {
  return queryNodeDataObject(root(), cookie, out);
}

HRESULT SnapinData::GetDisplayInfo(SCOPEDATAITEM* item) {
  if (item == nullptr) return E_POINTER;
  const Node* node = nodeOfCookie(*this, item->lParam);
  if (node == nullptr) return E_INVALIDARG;
  // The node's own text: it lives as long as the node, which outlives its scope item.
  if ((item->mask & SDI_STR) != 0) {
    item->displayname = const_cast<LPOLESTR>(node->displayText(0).c_str());
  }
  if ((item->mask & SDI_IMAGE) != 0) item->nImage = node->image();
  return S_OK;
}

HRESULT SnapinData::CompareObjects(LPDATAOBJECT a, LPDATAOBJECT b) {
  return compareDataObjects(a, b);
}

}  // namespace lookout
