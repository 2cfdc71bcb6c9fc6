// Small COM helpers shared by the snap-in, the console host and their tests.
//
// - ComPtr<T> owns one reference to an interface: it releases it when it goes, so no path that
//   returns early forgets a Release.
// - queryInterfaceTable() answers QueryInterface from one table per class.
#pragma once

#include <unknwn.h>
#include <windows.h>

#include <initializer_list>

namespace lookout {

template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  // Takes over a reference the caller already owns.
  explicit ComPtr(T* adopted) : pointer_(adopted) {}
  ComPtr(const ComPtr& other) : pointer_(other.pointer_) {
    if (pointer_ != nullptr) pointer_->AddRef();
  }
  ComPtr(ComPtr&& other) noexcept : pointer_(other.release()) {}
  ComPtr& operator=(ComPtr other) noexcept {
    T* old = pointer_;
    pointer_ = other.pointer_;
    other.pointer_ = old;
    return *this;
  }
  ~ComPtr() { reset(); }

  // Adds a reference of its own to a pointer the caller keeps.
  static ComPtr retain(T* pointer) {
    if (pointer != nullptr) pointer->AddRef();
    return ComPtr(pointer);
  }

  T* get() const { return pointer_; }
  T* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }
  // For calls that hand out a reference through an out-parameter; drops the current one first.
  T** put() {
    reset();
    return &pointer_;
  }
  void** putVoid() { return reinterpret_cast<void**>(put()); }
  T* release() {
    T* pointer = pointer_;
    pointer_ = nullptr;
    return pointer;
  }
  void reset() {
    if (pointer_ != nullptr) {
      T* pointer = pointer_;
      pointer_ = nullptr;
      pointer->Release();
    }
  }

 private:
  T* pointer_ = nullptr;
};

// One row of a class's QueryInterface table: an interface id and the object seen as it.
struct InterfaceEntry {
  const IID* iid;
  IUnknown* object;
};

inline HRESULT queryInterfaceTable(REFIID iid, void** out,
                                   std::initializer_list<InterfaceEntry> table) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  for (const InterfaceEntry& entry : table) {
    if (IsEqualIID(iid, *entry.iid) || IsEqualIID(iid, IID_IUnknown)) {
      entry.object->AddRef();
      *out = entry.object;
      return S_OK;
    }
  }
  return E_NOINTERFACE;
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"  // deleted through its own class only
class GetDataHereOnly : public IDataObject {
 public:
  HRESULT STDMETHODCALLTYPE GetData(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
};
#pragma GCC diagnostic pop

}  // namespace lookout
