#include "console_session.h"

#include <cstdio>

#include "guids.h"
#include "unique_handle.h"

namespace consolehost {

using lookout::ComPtr;

HRESULT displayNameOf(IDataObject* dataObject, std::wstring* name) {
  name->clear();
  static const CLIPFORMAT format =
      static_cast<CLIPFORMAT>(RegisterClipboardFormatW(CCF_DISPLAY_NAME));
  FORMATETC wanted = {format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium{};
  medium.tymed = TYMED_HGLOBAL;
  // Room for the longest name a node can have; the data object writes into it, never grows it.
  ferry::UniqueHGlobal block(
      GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (MAX_PATH + 1) * sizeof(wchar_t)));
  if (!block) return E_OUTOFMEMORY;
  medium.hGlobal = block.get();
  HRESULT hr = dataObject->GetDataHere(&wanted, &medium);
  if (SUCCEEDED(hr)) {
    const size_t characters = GlobalSize(medium.hGlobal) / sizeof(wchar_t);
    if (const auto* text = static_cast<const wchar_t*>(GlobalLock(medium.hGlobal))) {
      size_t length = 0;
      while (length < characters && text[length] != L'\0') ++length;
      name->assign(text, length);
      GlobalUnlock(medium.hGlobal);
    }
  }
  // A data object that put another block in the medium freed ours: the medium holds the one to
  // free.
  if (medium.hGlobal != nullptr && medium.hGlobal != block.get()) {
    block.release();
    block.reset(medium.hGlobal);
  }
  return hr;
}

HRESULT snapinCanUnloadNow() {
  HMODULE library = GetModuleHandleW(L"lookout.dll");
  if (library == nullptr) return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
  using CanUnloadNow = HRESULT(WINAPI*)();
  auto entry = reinterpret_cast<CanUnloadNow>(
      reinterpret_cast<void*>(GetProcAddress(library, "DllCanUnloadNow")));
  return entry != nullptr ? entry() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
}

std::string resultName(HRESULT hr) {
  switch (hr) {
    case S_OK:
      return "S_OK";
    case S_FALSE:
      return "S_FALSE";
    case E_FAIL:
      return "E_FAIL";
    case E_NOTIMPL:
      return "E_NOTIMPL";
    case E_INVALIDARG:
      return "E_INVALIDARG";
    case E_POINTER:
      return "E_POINTER";
    case E_NOINTERFACE:
      return "E_NOINTERFACE";
    case E_UNEXPECTED:
      return "E_UNEXPECTED";
    case E_OUTOFMEMORY:
      return "E_OUTOFMEMORY";
    case DV_E_FORMATETC:
      return "DV_E_FORMATETC";
    case DV_E_TYMED:
      return "DV_E_TYMED";
    case CLASS_E_CLASSNOTAVAILABLE:
      return "CLASS_E_CLASSNOTAVAILABLE";
    case CLASS_E_NOAGGREGATION:
      return "CLASS_E_NOAGGREGATION";
    case REGDB_E_CLASSNOTREG:
      return "REGDB_E_CLASSNOTREG";
    default: {
      char text[16];
      std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(hr));
      return text;
    }
  }
}

void ConsoleSession::record(const std::string& call, HRESULT hr) {
  console_.log().add("> " + call + " -> " + resultName(hr));
}

HRESULT ConsoleSession::open() {
  HRESULT hr = CoCreateInstance(lookout::kClsidSnapinData, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IComponentData, snapin_.putVoid());
  record("CoCreateInstance(SnapinData, IComponentData)", hr);
  if (FAILED(hr)) return hr;
  hr = snapin_->Initialize(static_cast<IConsole2*>(&console_));
  record("IComponentData::Initialize", hr);
  if (FAILED(hr)) return hr;
  hr = snapin_->CreateComponent(view_.put());
  record("IComponentData::CreateComponent", hr);
  if (FAILED(hr)) return hr;
  hr = view_->Initialize(static_cast<IConsole2*>(&console_));
  record("IComponent::Initialize", hr);
  return hr;
}

HRESULT ConsoleSession::showTree(Tree* tree) {
  *tree = Tree{};
  ComPtr<IDataObject> root;
  HRESULT hr = snapin_->QueryDataObject(0, CCT_SCOPE, root.put());
  record("IComponentData::QueryDataObject(static node)", hr);
  if (FAILED(hr)) return hr;
  hr = displayNameOf(root.get(), &tree->rootName);
  record("IDataObject::GetDataHere(CCF_DISPLAY_NAME)", hr);
  if (FAILED(hr)) return hr;
  hr = snapin_->Notify(root.get(), MMCN_EXPAND, TRUE, RecordingConsole::kRootItem);
  record("IComponentData::Notify(MMCN_EXPAND, static node)", hr);
  if (FAILED(hr)) return hr;

  // A copy: showing a folder may not change what the root inserted, but must not invalidate it.
  const std::vector<ScopeItem> inserted = console_.scopeItems();
  for (const ScopeItem& scope : inserted) {
    if (scope.parent != RecordingConsole::kRootItem) continue;
    TreeFolder& folder = tree->folders.emplace_back();
    folder.scope = scope;
    SCOPEDATAITEM item{};
    item.mask = SDI_STR | SDI_IMAGE;
    item.lParam = scope.cookie;
    item.ID = scope.id;
    hr = snapin_->GetDisplayInfo(&item);
    record("IComponentData::GetDisplayInfo(item " + std::to_string(scope.id) + ")", hr);
    if (FAILED(hr)) return hr;
    folder.name = item.displayname != nullptr ? item.displayname : L"";
    folder.image = item.nImage;
    hr = showFolder(&folder);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT ConsoleSession::showFolder(TreeFolder* folder) {
  const std::string which = "item " + std::to_string(folder->scope.id);
  ComPtr<IDataObject> data;
  HRESULT hr = snapin_->QueryDataObject(folder->scope.cookie, CCT_SCOPE, data.put());
  record("IComponentData::QueryDataObject(" + which + ")", hr);
  if (FAILED(hr)) return hr;
  hr = snapin_->Notify(data.get(), MMCN_EXPAND, TRUE, folder->scope.id);
  record("IComponentData::Notify(MMCN_EXPAND, " + which + ")", hr);

  LPOLESTR viewType = nullptr;
  long options = 0;
  hr = view_->GetResultViewType(folder->scope.cookie, &viewType, &options);
  record("IComponent::GetResultViewType(" + which + ")" +
             (viewType == nullptr ? " standard list" : " " + utf8(viewType)),
         hr);
  CoTaskMemFree(viewType);

  console_.clearResultPane();
  hr = view_->Notify(data.get(), MMCN_ADD_IMAGES,
                     reinterpret_cast<LPARAM>(static_cast<IImageList*>(&console_.resultImages())),
                     folder->scope.id);
  record("IComponent::Notify(MMCN_ADD_IMAGES, " + which + ")", hr);
  if (FAILED(hr)) return hr;
  hr = view_->Notify(data.get(), MMCN_SHOW, TRUE, folder->scope.id);
  record("IComponent::Notify(MMCN_SHOW selected, " + which + ")", hr);
  if (FAILED(hr)) return hr;

  folder->columns = console_.columns();
  for (const ResultItem& result : console_.resultItems()) {
    TreeItem& item = folder->items.emplace_back();
    item.cookie = result.cookie;
    item.image = result.image;
    for (int column = 0; column < 2; ++column) {
      RESULTDATAITEM asked{};
      asked.mask = RDI_STR | RDI_IMAGE;
      asked.nCol = column;
      asked.lParam = result.cookie;
      asked.itemID = result.id;
      hr = view_->GetDisplayInfo(&asked);
      record("IComponent::GetDisplayInfo(result item " + std::to_string(result.id) + ", column " +
                 std::to_string(column) + ")",
             hr);
      if (FAILED(hr)) return hr;
      // The snap-in keeps the text; the console only reads it.
      (column == 0 ? item.name : item.description) = asked.str != nullptr ? asked.str : L"";
    }
  }
  hr = view_->Notify(data.get(), MMCN_SHOW, FALSE, folder->scope.id);
  record("IComponent::Notify(MMCN_SHOW deselected, " + which + ")", hr);
  return FAILED(hr) ? hr : S_OK;
}

HRESULT ConsoleSession::notifyView(MMC_COOKIE cookie, MMC_NOTIFY_TYPE event, LPARAM arg,
                                   LPARAM param) {
  ComPtr<IDataObject> data;
  HRESULT hr = view_->QueryDataObject(cookie, CCT_RESULT, data.put());
  record("IComponent::QueryDataObject", hr);
  if (FAILED(hr)) return hr;
  hr = view_->Notify(data.get(), event, arg, param);
  record("IComponent::Notify(" + std::to_string(event) + ")", hr);
  return hr;
}

void ConsoleSession::close() {
  if (view_) {
    record("IComponent::Destroy", view_->Destroy(0));
    view_.reset();
  }
  if (snapin_) {
    record("IComponentData::Destroy", snapin_->Destroy());
    snapin_.reset();
  }
}

}  // namespace consolehost
