#include "node_data_object.h"

#include <cstring>
#include <cwchar>

#include "guids.h"
#include "module.h"
#include "node_table.h"
#include "nodes.h"
#include "unique_handle.h"

namespace lookout {
namespace {

class NodeDataObject final : public ComObject<GetDataHereOnly> {
 public:
  explicit NodeDataObject(MMC_COOKIE cookie) : cookie_(cookie) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return queryInterfaceTable(iid, out, {{&IID_IDataObject, static_cast<IDataObject*>(this)}});
  }

  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC* format, STGMEDIUM* medium) override {
    if (format == nullptr || medium == nullptr) return E_POINTER;
    const ClipboardFormats& formats = clipboardFormats();
    const CLIPFORMAT asked = format->cfFormat;
    if (asked != formats.displayName && asked != formats.nodeType &&
        asked != formats.nodeTypeText && asked != formats.snapinClassId &&
        asked != formats.nodeCookie) {
      return DV_E_FORMATETC;
    }
    if (medium->tymed != TYMED_HGLOBAL || medium->hGlobal == nullptr) return DV_E_TYMED;
    if (asked == formats.nodeCookie) return write(medium, &cookie_, sizeof cookie_);
    if (asked == formats.snapinClassId) return write(medium, &kClsidSnapinData, sizeof(CLSID));

    const Node* node = node_table::find(cookie_);
    if (node == nullptr) return E_UNEXPECTED;  // the snap-in that made the node was released
    if (asked == formats.nodeType) return write(medium, &node->nodeType(), sizeof(GUID));
    if (asked == formats.nodeTypeText) {
      wchar_t text[40];
      int length = StringFromGUID2(node->nodeType(), text, 40);  // counts the terminator
      return write(medium, text, static_cast<size_t>(length) * sizeof(wchar_t));
    }
    const std::wstring& name = node->displayText(0);
    return write(medium, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
  }

 private:
  // Into the caller's block as it is, or not at all: the block is the console's, and growing it
  // could move it and free the one the console still holds (a stream on it would).
  static HRESULT write(STGMEDIUM* medium, const void* data, size_t size) {
    if (GlobalSize(medium->hGlobal) < size) return STG_E_MEDIUMFULL;
    void* block = GlobalLock(medium->hGlobal);
    if (block == nullptr) return HRESULT_FROM_WIN32(GetLastError());
    std::memcpy(block, data, size);
    GlobalUnlock(medium->hGlobal);
    return S_OK;
  }

  const MMC_COOKIE cookie_;
};

}  // namespace

const ClipboardFormats& clipboardFormats() {
  static const ClipboardFormats formats = {
      static_cast<CLIPFORMAT>(RegisterClipboardFormatW(CCF_DISPLAY_NAME)),
      static_cast<CLIPFORMAT>(RegisterClipboardFormatW(CCF_NODETYPE)),
      static_cast<CLIPFORMAT>(RegisterClipboardFormatW(CCF_SZNODETYPE)),
      static_cast<CLIPFORMAT>(RegisterClipboardFormatW(CCF_SNAPIN_CLASSID)),
      static_cast<CLIPFORMAT>(RegisterClipboardFormatW(kNodeCookieFormat)),
  };
  return formats;
}

HRESULT queryNodeDataObject(Node* root, MMC_COOKIE cookie, IDataObject** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  Node* node = cookie == 0 ? root : node_table::find(cookie);
  if (node == nullptr) return E_INVALIDARG;
  return createAndQuery<NodeDataObject>(IID_IDataObject, reinterpret_cast<void**>(out),
                                        node->cookie());
}

Node* nodeOfDataObject(IDataObject* dataObject) {
  if (dataObject == nullptr || IS_SPECIAL_DATAOBJECT(dataObject)) return nullptr;
  // Zeroed first: a data object that writes fewer bytes leaves a cookie that names no node.
  ferry::UniqueHGlobal block(
      GlobalAlloc(GMEM_SHARE | GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(MMC_COOKIE)));
  if (!block) return nullptr;
  FORMATETC format = {clipboardFormats().nodeCookie, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium{};
  medium.tymed = TYMED_HGLOBAL;
  medium.hGlobal = block.get();
  MMC_COOKIE cookie = 0;
  if (SUCCEEDED(dataObject->GetDataHere(&format, &medium)) && medium.hGlobal != nullptr &&
      GlobalSize(medium.hGlobal) >= sizeof cookie) {
    if (const void* bytes = GlobalLock(medium.hGlobal)) {
      std::memcpy(&cookie, bytes, sizeof cookie);
      GlobalUnlock(medium.hGlobal);
    }
  }
  // Another data object may have put a block of its own in the medium (growing ours moves it,
  // and frees the first): the one the medium holds now is ours to free.
  if (medium.hGlobal != nullptr && medium.hGlobal != block.get()) {
    block.release();
    block.reset(medium.hGlobal);
  }
  return node_table::find(cookie);
}

HRESULT compareDataObjects(IDataObject* a, IDataObject* b) {
  const Node* first = nodeOfDataObject(a);
  return first != nullptr && first == nodeOfDataObject(b) ? S_OK : S_FALSE;
}

}  // namespace lookout
