// lookout.dll as a COM server: its registration, its class objects, when it may be unloaded,
// and the About answers.
#include <mmc.h>

#include <vector>

#include "com_support.h"
#include "guids.h"
#include "snapin_fixture.h"
#include "unique_handle.h"

namespace ferry::test {
namespace {

using lookout::ComPtr;

std::wstring braced(const GUID& id) {
  wchar_t text[40];
  StringFromGUID2(id, text, 40);
  return text;
}

// The string value `name` of HKLM/HKCR `path`; "<missing>" when the key or value is not there.
std::wstring stringValue(HKEY root, const std::wstring& path, const wchar_t* name) {
  wchar_t value[MAX_PATH];
  DWORD size = sizeof value;
  LSTATUS status = RegGetValueW(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size);
  return status == ERROR_SUCCESS ? value : L"<missing>";
}

bool keyExists(HKEY root, const std::wstring& path) {
  UniqueKey key;
  return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

const std::wstring kSnapinClassKey = L"CLSID\\" + braced(lookout::kClsidSnapinData);
const std::wstring kAboutClassKey = L"CLSID\\" + braced(lookout::kClsidSnapinAbout);
const std::wstring kConsoleKey =
    L"SOFTWARE\\Microsoft\\MMC\\SnapIns\\" + braced(lookout::kClsidSnapinData);

using EntryPoint = HRESULT(WINAPI*)();
using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);

template <typename Fn>
Fn entry(HMODULE library, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

std::wstring widePath(const std::string& path) { return std::wstring(path.begin(), path.end()); }

std::wstring taken(LPOLESTR text) {
  std::wstring value = text != nullptr ? text : L"<null>";
  CoTaskMemFree(text);
  return value;
}

SIZE bitmapSize(HBITMAP bitmap) {
  BITMAP info{};
  GetObjectW(bitmap, sizeof info, &info);
  return {info.bmWidth, info.bmHeight};
}

TEST_F(SnapinTest, RegistrationWritesItsKeysAndUnregistrationRemovesThem) {
  {
    SCOPED_TRACE("after regsvr32: both classes and the console registration");
    EXPECT_EQ(stringValue(HKEY_CLASSES_ROOT, kSnapinClassKey, nullptr), L"NV");
    EXPECT_EQ(stringValue(HKEY_CLASSES_ROOT, kAboutClassKey, nullptr), L"NV");
    for (const std::wstring& key : {kSnapinClassKey, kAboutClassKey}) {
      const std::wstring server = key + L"\\InprocServer32";
      EXPECT_EQ(stringValue(HKEY_CLASSES_ROOT, server, nullptr), widePath(libraryPath()));
      EXPECT_EQ(stringValue(HKEY_CLASSES_ROOT, server, L"ThreadingModel"), L"Apartment");
    }
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, kConsoleKey, L"NameString"),
              L"Halyard Tidewell Backup");
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, kConsoleKey, L"About"),
              braced(lookout::kClsidSnapinAbout));
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, kConsoleKey + L"\\StandAlone"));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kConsoleKey + L"\\NodeTypes"));
  }
  {
    SCOPED_TRACE("unregistering leaves none of them; a second time is no error");
    EXPECT_EQ(regsvr32("/u /s"), 0u);
    for (const std::wstring& key : {kSnapinClassKey, kAboutClassKey}) {
      EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, key)) << std::string(key.begin(), key.end());
    }
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kConsoleKey));
    EXPECT_EQ(regsvr32("/u /s"), 0u);
  }
  {
    SCOPED_TRACE("a registration that cannot write says so and leaves nothing behind");
    // HKEY_LOCAL_MACHINE seen through a key of this test that is deleted while it is open, so
    // that nothing can be created below it: the classes are written, the console registration
    // fails.
    HKEY deleted = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\FerryLookoutTest", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &deleted, nullptr),
              ERROR_SUCCESS);
    UniqueKey deletedKey(deleted);
    ASSERT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\FerryLookoutTest"), ERROR_SUCCESS);
    HMODULE library = LoadLibraryA(libraryPath().c_str());
    ASSERT_NE(library, nullptr) << GetLastError();
    ASSERT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, deleted), ERROR_SUCCESS);
    const HRESULT hr = entry<EntryPoint>(library, "DllRegisterServer")();
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    deletedKey.reset();
    FreeLibrary(library);
    EXPECT_TRUE(FAILED(hr)) << consolehost::resultName(hr);
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, kSnapinClassKey)) << "the classes were removed again";
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, kAboutClassKey));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kConsoleKey));
  }
}

TEST_F(SnapinTest, ClassObjectsAndWhenTheLibraryMayBeUnloaded) {
  HMODULE library = LoadLibraryA(libraryPath().c_str());
  ASSERT_NE(library, nullptr) << GetLastError();
  auto getClassObject = entry<GetClassObject>(library, "DllGetClassObject");
  auto canUnloadNow = entry<EntryPoint>(library, "DllCanUnloadNow");
  ASSERT_NE(getClassObject, nullptr);
  ASSERT_NE(canUnloadNow, nullptr);
  {
    SCOPED_TRACE("DllGetClassObject refuses what it does not make");
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(getClassObject(IID_IDataObject, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(getClassObject(lookout::kClsidSnapinData, IID_IClassFactory, nullptr), E_FAIL);
    EXPECT_EQ(getClassObject(lookout::kClsidSnapinData, IID_IDataObject, &out), E_NOINTERFACE);
  }
  {
    SCOPED_TRACE("a factory: no aggregation; it keeps the library while it lives");
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(getClassObject(lookout::kClsidSnapinAbout, IID_IClassFactory, factory.putVoid()),
              S_OK);
    ComPtr<IUnknown> object;
    EXPECT_EQ(factory->CreateInstance(factory.get(), IID_IUnknown, object.putVoid()),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_ISnapinAbout, nullptr), E_FAIL);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    factory.reset();
    EXPECT_EQ(canUnloadNow(), S_OK) << "every object released, no lock";
  }
  {
    SCOPED_TRACE("one LockServer(TRUE) outstanding keeps it; LockServer(FALSE) lets it go");
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(CoGetClassObject(lookout::kClsidSnapinData, CLSCTX_INPROC_SERVER, nullptr,
                               IID_IClassFactory, factory.putVoid()),
              S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.reset();
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    ASSERT_EQ(CoGetClassObject(lookout::kClsidSnapinData, CLSCTX_INPROC_SERVER, nullptr,
                               IID_IClassFactory, factory.putVoid()),
              S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory.reset();
    EXPECT_EQ(canUnloadNow(), S_OK);
  }
  {
    SCOPED_TRACE("a data object or a task enumeration the console still holds keeps it too");
    ComPtr<IComponentData> snapin;
    ASSERT_EQ(CoCreateInstance(lookout::kClsidSnapinData, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IComponentData, snapin.putVoid()),
              S_OK);
    ComPtr<IDataObject> data;
    ASSERT_EQ(snapin->QueryDataObject(0, CCT_SCOPE, data.put()), S_OK);
    ComPtr<IComponent> view;
    ASSERT_EQ(snapin->CreateComponent(view.put()), S_OK);
    ComPtr<IExtendTaskPad> taskpad;
    ASSERT_EQ(view->QueryInterface(IID_IExtendTaskPad, taskpad.putVoid()), S_OK);
    ComPtr<IEnumTASK> tasks;
    // The group of the root: its cookie, read from its data object.
    HRESULT hr;
    std::string cookie = dataOf(data.get(),
                                static_cast<CLIPFORMAT>(RegisterClipboardFormatW(
                                    L"{2479DB32-5276-11d2-94F5-00C04FB92EC2}")),
                                &hr);
    ASSERT_EQ(hr, S_OK);
    wchar_t group[32];
    swprintf(group, 32, L"%llx", *reinterpret_cast<const unsigned long long*>(cookie.data()));
    ASSERT_EQ(taskpad->EnumTasks(nullptr, group, tasks.put()), S_OK);
    taskpad.reset();
    view.reset();
    snapin.reset();
    EXPECT_EQ(canUnloadNow(), S_FALSE) << "a data object and an enumeration are out";
    data.reset();
    EXPECT_EQ(canUnloadNow(), S_FALSE) << "the enumeration is out";
    tasks.reset();
    EXPECT_EQ(canUnloadNow(), S_OK);
  }
  FreeLibrary(library);
}

TEST_F(SnapinTest, AboutAnswersFromTheLibrarysResources) {
  ComPtr<ISnapinAbout> about;
  ASSERT_EQ(CoCreateInstance(lookout::kClsidSnapinAbout, nullptr, CLSCTX_INPROC_SERVER,
                             IID_ISnapinAbout, about.putVoid()),
            S_OK);
  LPOLESTR text = nullptr;
  EXPECT_EQ(about->GetSnapinDescription(&text), S_OK);
  EXPECT_EQ(taken(text), L"Halyard Tidewell Backup 製品の管理を行います。");
  text = nullptr;
  EXPECT_EQ(about->GetProvider(&text), S_OK);
  EXPECT_EQ(taken(text), L"NV");
  {
    SCOPED_TRACE("the version is the file's own version resource");
    DWORD ignored = 0;
    const std::wstring path = widePath(libraryPath());
    std::vector<unsigned char> block(GetFileVersionInfoSizeW(path.c_str(), &ignored));
    ASSERT_FALSE(block.empty());
    ASSERT_TRUE(
        GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
    wchar_t expected[64];
    swprintf(expected, 64, L"%u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS),
             LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
             LOWORD(fixed->dwFileVersionLS));
    text = nullptr;
    EXPECT_EQ(about->GetSnapinVersion(&text), S_OK);
    EXPECT_EQ(taken(text), expected);
    EXPECT_STREQ(expected, L"1.0.0.0") << "the version lookout.rc states";
  }
  {
    SCOPED_TRACE("the snap-in image and the static folder images, white transparent");
    HICON icon = nullptr;
    EXPECT_EQ(about->GetSnapinImage(&icon), S_OK);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info)) << GetLastError();
    UniqueBitmap iconColor(info.hbmColor);
    UniqueBitmap iconMask(info.hbmMask);
    SIZE iconSize = bitmapSize(info.hbmColor);
    EXPECT_EQ(iconSize.cx, 32);
    EXPECT_EQ(iconSize.cy, 32);
    HBITMAP small = nullptr, open = nullptr, large = nullptr;
    COLORREF mask = 0;
    EXPECT_EQ(about->GetStaticFolderImage(&small, &open, &large, &mask), S_OK);
    EXPECT_EQ(mask, RGB(0xFF, 0xFF, 0xFF));
    for (HBITMAP bitmap : {small, open}) {
      SIZE size = bitmapSize(bitmap);
      EXPECT_EQ(size.cx, 16);
      EXPECT_EQ(size.cy, 16);
    }
    SIZE largeSize = bitmapSize(large);
    EXPECT_EQ(largeSize.cx, 32);
    EXPECT_EQ(largeSize.cy, 32);
  }
}

}  // namespace
}  // namespace ferry::test
