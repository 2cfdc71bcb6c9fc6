#include "snapin_view.h"

#include <cwchar>

#include "node_data_object.h"
#include "node_table.h"
#include "snapin_data.h"

namespace lookout {
namespace {

class SnapinView final : public ComObject<IComponent, IExtendTaskPad> {
 public:
  // The view keeps its snap-in, and so the nodes it shows, alive.
  explicit SnapinView(SnapinData* owner) : owner_(ComPtr<SnapinData>::retain(owner)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return queryInterfaceTable(iid, out,
                               {{&IID_IComponent, static_cast<IComponent*>(this)},
                                {&IID_IExtendTaskPad, static_cast<IExtendTaskPad*>(this)}});
  }

  // ---- IComponent ----

  HRESULT STDMETHODCALLTYPE Initialize(LPCONSOLE console) override {
    if (console == nullptr) return E_POINTER;
    console_ = ComPtr<IConsole>::retain(console);
    HRESULT hr = console->QueryInterface(IID_IHeaderCtrl2, header_.putVoid());
    if (SUCCEEDED(hr)) hr = console->QueryInterface(IID_IResultData, results_.putVoid());
    if (SUCCEEDED(hr)) hr = console->SetHeader(header_.get());
    if (FAILED(hr)) Destroy(0);
    return hr;
  }

  HRESULT STDMETHODCALLTYPE Notify(LPDATAOBJECT dataObject, MMC_NOTIFY_TYPE event, LPARAM arg,
                                   LPARAM) override {
    Node* node = nodeOfDataObject(dataObject);
    if (node == nullptr) return S_FALSE;
    switch (event) {
      case MMCN_ADD_IMAGES:
        return node->addImages(reinterpret_cast<IImageList*>(arg));
      case MMCN_DBLCLICK:
        return node->doubleClick();
      case MMCN_RENAME:
        return node->rename();
      case MMCN_SELECT:
        return node->select();
      case MMCN_SHOW:
        return node->show(arg != FALSE, header_.get(), results_.get());
      case MMCN_LISTPAD:
        return node->listPad();
      default:
        return S_FALSE;
    }
  }

  HRESULT STDMETHODCALLTYPE Destroy(MMC_COOKIE) override {
    results_.reset();
    header_.reset();
    console_.reset();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE QueryDataObject(MMC_COOKIE cookie, DATA_OBJECT_TYPES,
                                            LPDATAOBJECT* out) override {
    return queryNodeDataObject(owner_->root(), cookie, out);
  }

  HRESULT STDMETHODCALLTYPE GetResultViewType(MMC_COOKIE cookie, LPOLESTR* viewType,
                                              long* options) override {
    // Every node shows the standard list; a cookie that names none gets it too.
    Node* node = nodeOfCookie(*owner_.get(), cookie);
    return (node != nullptr ? node : owner_->root())->resultViewType(viewType, options);
  }

  HRESULT STDMETHODCALLTYPE GetDisplayInfo(RESULTDATAITEM* item) override {
    if (item == nullptr) return E_POINTER;
    const Node* node = nodeOfCookie(*owner_.get(), item->lParam);
    if (node == nullptr) return E_INVALIDARG;
    // The node's own text, not a copy: the console keeps the pointer until it asks again or
    // deletes the item, and frees nothing.
    if ((item->mask & RDI_STR) != 0) {
      item->str = const_cast<LPOLESTR>(node->displayText(item->nCol).c_str());
    }
    if ((item->mask & RDI_IMAGE) != 0) item->nImage = node->image();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE CompareObjects(LPDATAOBJECT a, LPDATAOBJECT b) override {
    return compareDataObjects(a, b);
  }

  // ---- IExtendTaskPad: every request goes to the node its group names ----

  HRESULT STDMETHODCALLTYPE TaskNotify(IDataObject* dataObject, VARIANT* arg,
                                       VARIANT* param) override {
    Node* node = nodeOfDataObject(dataObject);
    return node != nullptr ? node->taskNotify(arg, param) : E_INVALIDARG;
  }
  HRESULT STDMETHODCALLTYPE EnumTasks(IDataObject*, LPOLESTR group, IEnumTASK** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    return toGroup(group, &Node::enumTasks, out);
  }
  HRESULT STDMETHODCALLTYPE GetTitle(LPOLESTR group, LPOLESTR* title) override {
    return toGroup(group, &Node::taskpadTitle, title);
  }
  HRESULT STDMETHODCALLTYPE GetDescriptiveText(LPOLESTR group, LPOLESTR* text) override {
    return toGroup(group, &Node::taskpadDescription, text);
  }
  HRESULT STDMETHODCALLTYPE GetBackground(LPOLESTR group, MMC_TASK_DISPLAY_OBJECT* out) override {
    return toGroup(group, &Node::taskpadBackground, out);
  }
  HRESULT STDMETHODCALLTYPE GetListPadInfo(LPOLESTR group, MMC_LISTPAD_INFO* out) override {
    return toGroup(group, &Node::listPadInfo, out);
  }

 private:
  // A taskpad group is the node's cookie in hexadecimal; anything else names no node.
  static Node* nodeOfGroup(const wchar_t* group) {
    if (group == nullptr || *group == L'\0') return nullptr;
    wchar_t* end = nullptr;
    const unsigned long long value = std::wcstoull(group, &end, 16);
    if (end == nullptr || *end != L'\0') return nullptr;
    return node_table::find(static_cast<MMC_COOKIE>(value));
  }

  template <typename Out>
  static HRESULT toGroup(const wchar_t* group, HRESULT (Node::*request)(Out), Out out) {
    Node* node = nodeOfGroup(group);
    return node != nullptr ? (node->*request)(out) : E_INVALIDARG;
  }

  ComPtr<SnapinData> owner_;
  ComPtr<IConsole> console_;
  ComPtr<IHeaderCtrl2> header_;
  ComPtr<IResultData> results_;
};

}  // namespace

HRESULT createSnapinView(SnapinData* owner, IComponent** out) {
  return createAndQuery<SnapinView>(IID_IComponent, reinterpret_cast<void**>(out), owner);
}

}  // namespace lookout
