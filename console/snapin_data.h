// SnapinData, the snap-in itself (IComponentData): owns the node tree, inserts the folders into
// the console's scope pane and makes one SnapinView per console view.
#pragma once

#include <mmc.h>

#include <memory>

#include "module.h"
#include "nodes.h"

namespace lookout {

class SnapinData final : public ComObject<IComponentData> {
 public:
  // Reads the Start-menu folders at once: the tree is what they hold at creation.
  SnapinData();

  Node* root() const { return root_.get(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  HRESULT STDMETHODCALLTYPE Initialize(LPUNKNOWN console) override;
  HRESULT STDMETHODCALLTYPE CreateComponent(LPCOMPONENT* out) override;
  HRESULT STDMETHODCALLTYPE Notify(LPDATAOBJECT dataObject, MMC_NOTIFY_TYPE event, LPARAM arg,
                                   LPARAM param) override;
  HRESULT STDMETHODCALLTYPE Destroy() override;
  HRESULT STDMETHODCALLTYPE QueryDataObject(MMC_COOKIE cookie, DATA_OBJECT_TYPES type,
                                            LPDATAOBJECT* out) override;
  HRESULT STDMETHODCALLTYPE GetDisplayInfo(SCOPEDATAITEM* item) override;
  HRESULT STDMETHODCALLTYPE CompareObjects(LPDATAOBJECT a, LPDATAOBJECT b) override;

 private:
  std::unique_ptr<RootNode> root_;
  ComPtr<IConsole2> console_;
  ComPtr<IConsoleNameSpace2> nameSpace_;
};

// The node of a cookie the console hands back: the root for 0, null for none.
Node* nodeOfCookie(const SnapinData& snapin, MMC_COOKIE cookie);

}  // namespace lookout
