// The library's process-wide state: its module handle, the count of live COM objects it handed
// out and the count of IClassFactory::LockServer locks. DllCanUnloadNow answers from the two
// counts; both change only through interlocked operations, since COM may ask from any thread.
#pragma once

#include <windows.h>

#include "com_support.h"

namespace lookout {

HMODULE moduleHandle();

void objectCreated();
void objectDestroyed();
void serverLocked();
void serverUnlocked();
bool canUnload();

// The base of every COM object of the library: one reference at birth, deleted at the last
// Release, counted in the module's object count for its whole life so that the library is not
// unloaded under an object the console still holds. The class answers QueryInterface itself,
// from its own table.
//
// COM interfaces have no virtual destructor by design: an object is only ever deleted here,
// through its own class, never through an interface pointer.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
template <typename... Interfaces>
class ComObject : public Interfaces... {
 public:
  ComObject() { objectCreated(); }
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;
  virtual ~ComObject() { objectDestroyed(); }

  ULONG STDMETHODCALLTYPE AddRef() override {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
  }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

 private:
  LONG references_ = 1;
};
#pragma GCC diagnostic pop

// Makes a new object and hands the interface asked for; the object goes again if it has no
// such interface. E_OUTOFMEMORY when it cannot be made.
template <typename Object, typename... Args>
HRESULT createAndQuery(REFIID iid, void** out, Args&&... args) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  Object* object = nullptr;
  try {
    object = new Object(static_cast<Args&&>(args)...);
  } catch (...) {
    // Allocation failure while the object fills itself (its node tree, its texts).
    return E_OUTOFMEMORY;
  }
  HRESULT hr = object->QueryInterface(iid, out);
  object->Release();
  return hr;
}

}  // namespace lookout
