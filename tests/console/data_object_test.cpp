// NodeDataObject: the five clipboard formats written by GetDataHere, CompareObjects, the taskpad
// requests, and the node cookie carried whole, so that a cut or stale cookie finds no node.
#include <mmc.h>

#include <cstring>

#include "com_support.h"
#include "guids.h"
#include "snapin_fixture.h"
#include "unique_handle.h"

namespace ferry::test {
namespace {

using lookout::ComPtr;

CLIPFORMAT format(const wchar_t* name) {
  return static_cast<CLIPFORMAT>(RegisterClipboardFormatW(name));
}
const wchar_t kCookieFormat[] = L"{2479DB32-5276-11d2-94F5-00C04FB92EC2}";

std::string bytesOf(const void* data, size_t size) {
  return std::string(static_cast<const char*>(data), size);
}
std::string wideBytes(const std::wstring& text) {  // with its terminator
  return bytesOf(text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

// A data object of somebody else's that answers the private format with `bytes` bytes of a
// cookie: what a reader that cut the cookie to 32 bits would hand on. It lives on the stack.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"  // never deleted through the interface
class CookieObject final : public lookout::GetDataHereOnly {
 public:
  CookieObject(MMC_COOKIE cookie, size_t bytes) : cookie_(cookie), bytes_(bytes) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return lookout::queryInterfaceTable(iid, out, {{&IID_IDataObject, this}});
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC* wanted, STGMEDIUM* medium) override {
    if (wanted->cfFormat != format(kCookieFormat)) return DV_E_FORMATETC;
    void* block = GlobalLock(medium->hGlobal);
    std::memcpy(block, &cookie_, bytes_);
    GlobalUnlock(medium->hGlobal);
    return S_OK;
  }

 private:
  MMC_COOKIE cookie_;
  size_t bytes_;
};
#pragma GCC diagnostic pop

class NodeDataTest : public SnapinTest {
 protected:
  void SetUp() override {
    SnapinTest::SetUp();
    setEdition(1);
    consolehost::ShortcutSpec spec;
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    spec.target = std::string(system) + "\\cmd.exe";
    spec.description = "Command prompt";
    addShortcut(startMenuFolder("Tidewell Backup"), "Prompt.lnk", spec);
    session_ = std::make_unique<consolehost::ConsoleSession>(console_);
    ASSERT_EQ(session_->open(), S_OK) << console_.log().text();
    ASSERT_EQ(session_->showTree(&tree_), S_OK) << console_.log().text();
    ASSERT_EQ(tree_.folders.size(), 1u);
    ASSERT_EQ(tree_.folders[0].items.size(), 1u);
    folderCookie_ = tree_.folders[0].scope.cookie;
    itemCookie_ = tree_.folders[0].items[0].cookie;
  }
  void TearDown() override {
    session_.reset();
    SnapinTest::TearDown();
  }
  ComPtr<IDataObject> scopeData(MMC_COOKIE cookie) {
    ComPtr<IDataObject> data;
    EXPECT_EQ(session_->snapin()->QueryDataObject(cookie, CCT_SCOPE, data.put()), S_OK);
    return data;
  }
  ComPtr<IDataObject> resultData(MMC_COOKIE cookie) {
    ComPtr<IDataObject> data;
    EXPECT_EQ(session_->view()->QueryDataObject(cookie, CCT_RESULT, data.put()), S_OK);
    return data;
  }

  consolehost::RecordingConsole console_;
  std::unique_ptr<consolehost::ConsoleSession> session_;
  consolehost::Tree tree_;
  MMC_COOKIE folderCookie_ = 0;
  MMC_COOKIE itemCookie_ = 0;
};

TEST_F(NodeDataTest, GetDataHereWritesEveryFormatAndRefusesOthers) {
  ComPtr<IDataObject> root = scopeData(0);
  HRESULT hr;
  {
    SCOPED_TRACE("CCF_DISPLAY_NAME: the name in UTF-16 with its terminator, nothing after it");
    const std::string expected = wideBytes(L"Halyard Tidewell Backup");
    std::string written = dataOf(root.get(), format(CCF_DISPLAY_NAME), &hr);
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(written.substr(0, expected.size()), expected);
    EXPECT_EQ(written.substr(expected.size()), std::string(64 - expected.size(), '\xbd'));
  }
  {
    SCOPED_TRACE("the caller's block, moveable or fixed: written as it is or not at all, kept");
    const std::string expected = wideBytes(L"Halyard Tidewell Backup");
    for (UINT flags : {GMEM_MOVEABLE, GMEM_FIXED}) {
      for (size_t size : {size_t{4}, expected.size() - 1, expected.size(), expected.size() + 1}) {
        SCOPED_TRACE(std::to_string(flags) + " block of " + std::to_string(size) + " bytes");
        UniqueHGlobal block(GlobalAlloc(flags, size));
        ASSERT_TRUE(block.valid());
        std::memset(GlobalLock(block.get()), 0xbd, size);
        GlobalUnlock(block.get());
        STGMEDIUM medium{};
        medium.tymed = TYMED_HGLOBAL;
        medium.hGlobal = block.get();
        FORMATETC wanted = {format(CCF_DISPLAY_NAME), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        const HRESULT result = root->GetDataHere(&wanted, &medium);
        ASSERT_EQ(medium.hGlobal, block.get()) << "the medium's block was replaced";
        ASSERT_NE(GlobalFlags(block.get()), static_cast<UINT>(GMEM_INVALID_HANDLE))
            << "the caller's block was freed";
        ASSERT_EQ(GlobalSize(block.get()), size) << "the caller's block was resized";
        const std::string bytes(static_cast<const char*>(GlobalLock(block.get())), size);
        GlobalUnlock(block.get());
        if (size < expected.size()) {
          EXPECT_EQ(result, STG_E_MEDIUMFULL);
          EXPECT_EQ(bytes, std::string(size, '\xbd')) << "a block too small is left as it was";
        } else {
          EXPECT_EQ(result, S_OK);
          EXPECT_EQ(bytes, expected + std::string(size - expected.size(), '\xbd'));
        }
      }
    }
  }
  {
    SCOPED_TRACE("CCF_NODETYPE and CCF_SZNODETYPE of the root, a folder and an item");
    struct Case {
      MMC_COOKIE cookie;
      GUID type;
      const wchar_t* text;
    } cases[] = {
        {0, lookout::kNodeTypeRoot, L"{4CB564D7-4F81-4C2C-9429-6609A57D26A5}"},
        {folderCookie_, lookout::kNodeTypeToolsFolder, L"{9B739684-14D2-447F-865E-28E21576139A}"},
        {itemCookie_, lookout::kNodeTypeToolItem, L"{897B5A9B-25C7-4C20-BD6A-C13EA4397A6A}"},
    };
    for (const Case& c : cases) {
      ComPtr<IDataObject> data = scopeData(c.cookie);
      EXPECT_EQ(dataOf(data.get(), format(CCF_NODETYPE), &hr).substr(0, 17),
                bytesOf(&c.type, 16) + '\xbd');
      EXPECT_EQ(hr, S_OK);
      const std::string text = wideBytes(c.text);
      EXPECT_EQ(dataOf(data.get(), format(CCF_SZNODETYPE), &hr, 128).substr(0, text.size()), text);
      EXPECT_EQ(hr, S_OK);
    }
  }
  {
    SCOPED_TRACE("CCF_SNAPIN_CLASSID and the private format: the whole cookie");
    EXPECT_EQ(dataOf(root.get(), format(CCF_SNAPIN_CLASSID), &hr).substr(0, 16),
              bytesOf(&lookout::kClsidSnapinData, 16));
    EXPECT_EQ(hr, S_OK);
    ComPtr<IDataObject> item = resultData(itemCookie_);
    EXPECT_EQ(dataOf(item.get(), format(kCookieFormat), &hr).substr(0, 9),
              bytesOf(&itemCookie_, 8) + '\xbd');
    EXPECT_EQ(hr, S_OK);
    EXPECT_NE(static_cast<unsigned long long>(itemCookie_) >> 32, 0u)
        << "a cookie uses all 64 bits: cut to 32 it names nothing";
  }
  {
    SCOPED_TRACE("another format, another medium, the other methods");
    dataOf(root.get(), CF_TEXT, &hr);
    EXPECT_EQ(hr, DV_E_FORMATETC);
    FORMATETC wanted = {format(CCF_NODETYPE), nullptr, DVASPECT_CONTENT, -1, TYMED_ISTREAM};
    STGMEDIUM medium{};
    medium.tymed = TYMED_ISTREAM;
    EXPECT_EQ(root->GetDataHere(&wanted, &medium), DV_E_TYMED);
    EXPECT_EQ(root->GetData(&wanted, &medium), E_NOTIMPL);
    EXPECT_EQ(root->QueryGetData(&wanted), E_NOTIMPL);
    IEnumFORMATETC* formats = nullptr;
    EXPECT_EQ(root->EnumFormatEtc(DATADIR_GET, &formats), E_NOTIMPL);
  }
}

TEST_F(NodeDataTest, ObjectsAreComparedByTheNodeTheyName) {
  IComponentData* snapin = session_->snapin();
  IComponent* view = session_->view();
  ComPtr<IDataObject> itemFromView = resultData(itemCookie_);
  ComPtr<IDataObject> itemFromSnapin = scopeData(itemCookie_);
  ComPtr<IDataObject> folder = scopeData(folderCookie_);
  ComPtr<IDataObject> rootA = scopeData(0), rootB = resultData(0);
  EXPECT_EQ(snapin->CompareObjects(itemFromView.get(), itemFromSnapin.get()), S_OK);
  EXPECT_EQ(view->CompareObjects(itemFromView.get(), itemFromSnapin.get()), S_OK);
  EXPECT_EQ(view->CompareObjects(rootA.get(), rootB.get()), S_OK);
  EXPECT_EQ(snapin->CompareObjects(folder.get(), itemFromView.get()), S_FALSE);
  EXPECT_EQ(snapin->CompareObjects(rootA.get(), folder.get()), S_FALSE);
  ComPtr<IDataObject> none;
  EXPECT_EQ(snapin->QueryDataObject(itemCookie_ & 0xFFFFFFFF, CCT_SCOPE, none.put()), E_INVALIDARG)
      << "a cookie cut to 32 bits";
  EXPECT_EQ(none.get(), nullptr);
}

TEST_F(NodeDataTest, ACutOrStaleCookieNamesNoNode) {
  IComponent* view = session_->view();
  {
    SCOPED_TRACE("the whole cookie finds the item; its lower 32 bits find nothing");
    CookieObject whole(itemCookie_, 8), cut(itemCookie_, 4);
    EXPECT_EQ(view->Notify(&whole, MMCN_SELECT, 0, 0), S_OK) << "a tool item takes selection";
    EXPECT_EQ(view->Notify(&cut, MMCN_SELECT, 0, 0), S_FALSE);
    EXPECT_EQ(view->CompareObjects(&whole, &cut), S_FALSE);
    ComPtr<IDataObject> item = resultData(itemCookie_);
    EXPECT_EQ(view->CompareObjects(&whole, item.get()), S_OK);
    EXPECT_EQ(view->Notify(reinterpret_cast<IDataObject*>(DOBJ_CUSTOMOCX), MMCN_SELECT, 0, 0),
              S_FALSE)
        << "the console's special data objects name no node";
  }
  {
    SCOPED_TRACE("the taskpad: groups name nodes by cookie in hexadecimal");
    ComPtr<IExtendTaskPad> taskpad;
    ASSERT_EQ(view->QueryInterface(IID_IExtendTaskPad, taskpad.putVoid()), S_OK);
    wchar_t group[32], cutGroup[32];
    swprintf(group, 32, L"%llx", static_cast<unsigned long long>(itemCookie_));
    swprintf(cutGroup, 32, L"%llx", static_cast<unsigned long long>(itemCookie_ & 0xFFFFFFFF));
    ComPtr<IEnumTASK> tasks;
    ASSERT_EQ(taskpad->EnumTasks(nullptr, group, tasks.put()), S_OK);
    MMC_TASK task{};
    ULONG fetched = 7;
    EXPECT_EQ(tasks->Next(1, &task, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u) << "no tasks";
    LPOLESTR title = reinterpret_cast<LPOLESTR>(1);
    EXPECT_EQ(taskpad->GetTitle(group, &title), S_FALSE);
    EXPECT_EQ(title, nullptr);
    EXPECT_EQ(taskpad->EnumTasks(nullptr, cutGroup, tasks.put()), E_INVALIDARG);
    EXPECT_EQ(taskpad->GetTitle(const_cast<LPOLESTR>(L"not a cookie"), &title), E_INVALIDARG);
  }
  {
    SCOPED_TRACE("a data object that outlives its snap-in names nothing in the next one");
    ComPtr<IDataObject> old = resultData(itemCookie_);
    session_->close();
    consolehost::RecordingConsole console;
    consolehost::ConsoleSession again(console);
    consolehost::Tree tree;
    ASSERT_EQ(again.open(), S_OK);
    ASSERT_EQ(again.showTree(&tree), S_OK);
    ASSERT_EQ(tree.folders.size(), 1u);
    EXPECT_EQ(again.view()->Notify(old.get(), MMCN_SELECT, 0, 0), S_FALSE);
    HRESULT hr;
    dataOf(old.get(), format(CCF_NODETYPE), &hr);
    EXPECT_EQ(hr, E_UNEXPECTED) << "its node is gone";
    ComPtr<IDataObject> current;
    ASSERT_EQ(
        again.view()->QueryDataObject(tree.folders[0].items[0].cookie, CCT_RESULT, current.put()),
        S_OK);
    EXPECT_EQ(again.view()->Notify(current.get(), MMCN_SELECT, 0, 0), S_OK)
        << "while the new snap-in's own objects do";
  }
}

}  // namespace
}  // namespace ferry::test
