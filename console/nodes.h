// The snap-in's nodes: the root (the console's static node), its two shortcut folders and one
// item per shortcut.
//
// Every node shares the operations of Node. An operation a node does not handle answers S_FALSE
// (the console then does what it does by default), or no tasks. Each node is registered in the
// node table for its whole life and is named to the console by its cookie.
#pragma once

#include <mmc.h>

#include <memory>
#include <string>
#include <vector>

#include "shortcuts.h"

namespace lookout {

class Node {
 public:
  Node();
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;
  virtual ~Node();

  // The node's text in a result column (0 is its name); empty for columns it has no text for.
  virtual const std::wstring& displayText(int column) const = 0;
  virtual const GUID& nodeType() const = 0;
  MMC_COOKIE cookie() const { return cookie_; }
  virtual int image() const = 0;
  // The standard list view.
  virtual HRESULT resultViewType(LPOLESTR* viewType, long* options);
  virtual HRESULT doubleClick();
  virtual HRESULT expand(IConsoleNameSpace2* nameSpace, HSCOPEITEM parent);
  virtual HRESULT show(bool selecting, IHeaderCtrl* header, IResultData* results);
  virtual HRESULT addImages(IImageList* images);
  virtual HRESULT rename();
  virtual HRESULT select();
  virtual HRESULT listPad();
  virtual HRESULT taskNotify(VARIANT* arg, VARIANT* param);
  virtual HRESULT enumTasks(IEnumTASK** out);
  virtual HRESULT taskpadTitle(LPOLESTR* out);
  virtual HRESULT taskpadDescription(LPOLESTR* out);
  virtual HRESULT taskpadBackground(MMC_TASK_DISPLAY_OBJECT* out);
  virtual HRESULT listPadInfo(MMC_LISTPAD_INFO* out);

 protected:
  static const std::wstring& noText();

 private:
  MMC_COOKIE cookie_;
};

// What tells the tools folder from the agents folder, and their items apart.
struct FolderStyle {
  const GUID* folderType;
  const GUID* itemType;
  UINT nameId;
  int image;
  size_t limit;            // the most shortcuts the folder shows
  const char* itemTrace;   // traced for each item made
  bool itemsTakeRenaming;  // items answer the console's rename and select notifications
};

class ShortcutItem final : public Node {
 public:
  ShortcutItem(const FolderStyle& style, const ShortcutRecord& record);
  const std::wstring& displayText(int column) const override;
  const GUID& nodeType() const override { return *style_.itemType; }
  int image() const override { return record_.position; }
  HRESULT doubleClick() override;
  HRESULT rename() override;
  HRESULT select() override;

 private:
  const FolderStyle& style_;
  ShortcutRecord record_;
  std::wstring name_;
  std::wstring description_;
};

// A folder of shortcuts; it reads its Start-menu folder once, when it is made.
class ShortcutFolder : public Node {
 public:
  ShortcutFolder(const FolderStyle& style, const std::string& folder);
  const std::wstring& displayText(int column) const override;
  const GUID& nodeType() const override { return *style_.folderType; }
  int image() const override { return style_.image; }
  HRESULT show(bool selecting, IHeaderCtrl* header, IResultData* results) override;
  HRESULT addImages(IImageList* images) override;

  const std::vector<std::unique_ptr<ShortcutItem>>& items() const { return items_; }

 private:
  const FolderStyle& style_;
  std::wstring name_;
  std::vector<ShortcutRecord> records_;
  std::vector<std::unique_ptr<ShortcutItem>> items_;
};

class ToolsFolder final : public ShortcutFolder {
 public:
  explicit ToolsFolder(const std::string& folder);
};

class AgentsFolder final : public ShortcutFolder {
 public:
  explicit AgentsFolder(const std::string& folder);
};

// The static node. Its folders are made with it, for the Start-menu folders of the installed
// edition that exist.
class RootNode final : public Node {
 public:
  RootNode();
  const std::wstring& displayText(int column) const override;
  const GUID& nodeType() const override;
  int image() const override { return 5; }
  HRESULT expand(IConsoleNameSpace2* nameSpace, HSCOPEITEM parent) override;

 private:
  std::wstring name_;
  std::unique_ptr<ShortcutFolder> tools_;
  std::unique_ptr<ShortcutFolder> agents_;
};

}  // namespace lookout
