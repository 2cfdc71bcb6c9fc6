// The library's entry points for COM: DllMain, DllGetClassObject with its class factory, and
// DllCanUnloadNow. Registration is in registration.cpp.
#include "module.h"

#include <mmc.h>

#include "guids.h"
#include "snapin_about.h"
#include "snapin_data.h"

namespace lookout {
namespace {

HMODULE module = nullptr;
LONG objects = 0;
LONG locks = 0;

enum class Product { kSnapinData, kSnapinAbout };

class ClassFactory final : public ComObject<IClassFactory> {
 public:
  explicit ClassFactory(Product product) : product_(product) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return queryInterfaceTable(iid, out, {{&IID_IClassFactory, static_cast<IClassFactory*>(this)}});
  }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (out == nullptr) return E_FAIL;
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return product_ == Product::kSnapinData ? createAndQuery<SnapinData>(iid, out)
                                            : createSnapinAbout(iid, out);
  }

  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      serverLocked();
    } else {
      serverUnlocked();
    }
    return S_OK;
  }

 private:
  const Product product_;
};

}  // namespace

HMODULE moduleHandle() { return module; }
void objectCreated() { InterlockedIncrement(&objects); }
void objectDestroyed() { InterlockedDecrement(&objects); }
void serverLocked() { InterlockedIncrement(&locks); }
void serverUnlocked() { InterlockedDecrement(&locks); }
bool canUnload() {
  return InterlockedCompareExchange(&objects, 0, 0) == 0 &&
         InterlockedCompareExchange(&locks, 0, 0) == 0;
}

}  // namespace lookout

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    lookout::module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
  using lookout::Product;
  if (out == nullptr) return E_FAIL;
  *out = nullptr;
  Product product;
  if (IsEqualCLSID(clsid, lookout::kClsidSnapinData)) {
    product = Product::kSnapinData;
  } else if (IsEqualCLSID(clsid, lookout::kClsidSnapinAbout)) {
    product = Product::kSnapinAbout;
  } else {
    return CLASS_E_CLASSNOTAVAILABLE;
  }
  if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) {
    return E_NOINTERFACE;
  }
  return lookout::createAndQuery<lookout::ClassFactory>(iid, out, product);
}

STDAPI DllCanUnloadNow() { return lookout::canUnload() ? S_OK : S_FALSE; }
