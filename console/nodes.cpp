#include "nodes.h"

#include <commctrl.h>
#include <shellapi.h>

#include "guids.h"
#include "launch.h"
#include "node_table.h"
#include "resource_ids.h"
#include "task_enum.h"
#include "texts.h"
#include "trace.h"
#include "unique_handle.h"

namespace lookout {
namespace {

// mmc.h spells the callback marker as an unsigned short pointer; LPOLESTR is wchar_t based.
LPOLESTR textByCallback() { return reinterpret_cast<LPOLESTR>(MMC_CALLBACK); }

const FolderStyle kToolsStyle = {&kNodeTypeToolsFolder,
                                 &kNodeTypeToolItem,
                                 IDS_TOOLS_FOLDER,
                                 5,
                                 23,
                                 "Add a NVConsole item\r\n",
                                 true};
const FolderStyle kAgentsStyle = {&kNodeTypeAgentsFolder,
                                  &kNodeTypeAgentItem,
                                  IDS_AGENTS_FOLDER,
                                  10,
                                  20,
                                  "Add a backup agent item\r\n",
                                  false};

// Puts the shell's icons for the record's target at the record's position of the console's image
// list: the large one first (for both sizes), then the small one for the small size only.
void setShellIcons(IImageList* images, const ShortcutRecord& record) {
  SHFILEINFOA large{}, small{};
  SHGetFileInfoA(record.targetPath, 0, &large, sizeof large,
                 SHGFI_ICON | SHGFI_SYSICONINDEX | SHGFI_LARGEICON);
  // The console copies the icons into its list; ours go again right after.
  const ferry::UniqueIcon largeIcon(large.hIcon);
  SHGetFileInfoA(record.targetPath, 0, &small, sizeof small,
                 SHGFI_ICON | SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
  const ferry::UniqueIcon smallIcon(small.hIcon);
  if (largeIcon) {
    images->ImageListSetIcon(reinterpret_cast<LONG_PTR*>(largeIcon.get()), record.position);
  }
  if (smallIcon) {
    images->ImageListSetIcon(reinterpret_cast<LONG_PTR*>(smallIcon.get()),
                             record.position | ILSIF_LEAVE_LARGE_ICON);
  }
  trace("Insert a Icon,\r\n FileName=%s,dwIconIndex = %d, \r\n", record.targetPath,
        record.iconIndex);
}

}  // namespace

// ---- Node: what a node does not handle ----

Node::Node() : cookie_(node_table::add(this)) {}
Node::~Node() { node_table::remove(cookie_); }

const std::wstring& Node::noText() {
  static const std::wstring empty;
  return empty;
}

HRESULT Node::resultViewType(LPOLESTR* viewType, long* options) {
  if (viewType != nullptr) *viewType = nullptr;
  if (options != nullptr) *options = MMC_VIEW_OPTIONS_NONE;
  return S_FALSE;
}
HRESULT Node::doubleClick() { return S_FALSE; }
HRESULT Node::expand(IConsoleNameSpace2*, HSCOPEITEM) { return S_FALSE; }
HRESULT Node::show(bool, IHeaderCtrl*, IResultData*) { return S_FALSE; }
HRESULT Node::addImages(IImageList*) { return S_FALSE; }
HRESULT Node::rename() { return S_FALSE; }
HRESULT Node::select() { return S_FALSE; }
HRESULT Node::listPad() { return S_FALSE; }
HRESULT Node::taskNotify(VARIANT*, VARIANT*) { return S_FALSE; }
HRESULT Node::enumTasks(IEnumTASK** out) { return createEmptyTaskEnum(out); }
HRESULT Node::taskpadTitle(LPOLESTR* out) {
  if (out != nullptr) *out = nullptr;
  return S_FALSE;
}
HRESULT Node::taskpadDescription(LPOLESTR* out) { return taskpadTitle(out); }
HRESULT Node::taskpadBackground(MMC_TASK_DISPLAY_OBJECT*) { return S_FALSE; }
HRESULT Node::listPadInfo(MMC_LISTPAD_INFO*) { return S_FALSE; }

// ---- ShortcutItem ----

ShortcutItem::ShortcutItem(const FolderStyle& style, const ShortcutRecord& record)
    : style_(style),
      record_(record),
      name_(widen(record.name)),
      description_(widen(record.description)) {}

const std::wstring& ShortcutItem::displayText(int column) const {
  return column == 0 ? name_ : column == 1 ? description_ : noText();
}

HRESULT ShortcutItem::doubleClick() {
  // Handled even when the program does not start: the console has no default to fall back to.
  launchShortcut(record_);
  return S_OK;
}

// Renaming is allowed but changes nothing: the entry's name is its shortcut file's.
HRESULT ShortcutItem::rename() { return style_.itemsTakeRenaming ? S_OK : S_FALSE; }
HRESULT ShortcutItem::select() { return style_.itemsTakeRenaming ? S_OK : S_FALSE; }

// ---- ShortcutFolder ----

ShortcutFolder::ShortcutFolder(const FolderStyle& style, const std::string& folder)
    : style_(style), name_(loadText(style.nameId)), records_(getLinkFileName(folder, style.limit)) {
  for (const ShortcutRecord& record : records_) {
    trace("%s", style_.itemTrace);
    items_.push_back(std::make_unique<ShortcutItem>(style_, record));
  }
}

const std::wstring& ShortcutFolder::displayText(int column) const {
  return column == 0 ? name_ : noText();
}

HRESULT ShortcutFolder::show(bool selecting, IHeaderCtrl* header, IResultData* results) {
  if (!selecting) return S_OK;
  if (header == nullptr || results == nullptr) return E_UNEXPECTED;
  HRESULT hr = header->InsertColumn(0, loadText(IDS_COLUMN_NAME).c_str(), LVCFMT_LEFT, 160);
  if (SUCCEEDED(hr)) {
    hr = header->InsertColumn(1, loadText(IDS_COLUMN_DETAILS).c_str(), LVCFMT_LEFT, 320);
  }
  if (SUCCEEDED(hr)) hr = results->DeleteAllRsltItems();
  for (size_t i = 0; SUCCEEDED(hr) && i < items_.size(); ++i) {
    RESULTDATAITEM item{};
    item.mask = RDI_STR | RDI_IMAGE | RDI_PARAM;
    item.str = textByCallback();
    item.nImage = items_[i]->image();
    item.lParam = items_[i]->cookie();
    hr = results->InsertItem(&item);
  }
  return hr;
}

HRESULT ShortcutFolder::addImages(IImageList* images) {
  if (images == nullptr) return E_INVALIDARG;
  for (const ShortcutRecord& record : records_) setShellIcons(images, record);
  return S_OK;
}

ToolsFolder::ToolsFolder(const std::string& folder) : ShortcutFolder(kToolsStyle, folder) {}
AgentsFolder::AgentsFolder(const std::string& folder) : ShortcutFolder(kAgentsStyle, folder) {}

// ---- RootNode ----

RootNode::RootNode() : name_(loadText(IDS_ROOT_NAME)) {
  const Edition edition = installedEdition();
  const std::string tools = startMenuFolder(edition, FolderKind::kTools);
  if (!tools.empty() && folderExists(tools)) tools_ = std::make_unique<ToolsFolder>(tools);
  const std::string agents = startMenuFolder(edition, FolderKind::kAgents);
  if (!agents.empty() && folderExists(agents)) agents_ = std::make_unique<AgentsFolder>(agents);
}

const std::wstring& RootNode::displayText(int column) const {
  return column == 0 ? name_ : noText();
}

const GUID& RootNode::nodeType() const { return kNodeTypeRoot; }

HRESULT RootNode::expand(IConsoleNameSpace2* nameSpace, HSCOPEITEM parent) {
  if (nameSpace == nullptr) return E_UNEXPECTED;
  bool first = true;
  for (ShortcutFolder* folder : {tools_.get(), agents_.get()}) {
    if (folder == nullptr) continue;
    SCOPEDATAITEM item{};
    item.mask = SDI_STR | SDI_IMAGE | SDI_OPENIMAGE | SDI_PARAM | SDI_PARENT | SDI_CHILDREN;
    item.displayname = textByCallback();
    item.nImage = folder->image();
    item.nOpenImage = 0;
    item.lParam = folder->cookie();
    item.relativeID = parent;
    item.cChildren = first ? 1 : 0;
    HRESULT hr = nameSpace->InsertItem(&item);
    if (FAILED(hr)) return hr;
    first = false;
  }
  return S_OK;
}

}  // namespace lookout
