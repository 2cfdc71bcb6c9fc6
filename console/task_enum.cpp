#include "task_enum.h"

#include "module.h"

namespace lookout {
namespace {

class EmptyTaskEnum final : public ComObject<IEnumTASK> {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return queryInterfaceTable(iid, out, {{&IID_IEnumTASK, static_cast<IEnumTASK*>(this)}});
  }
  HRESULT STDMETHODCALLTYPE Next(ULONG, MMC_TASK*, ULONG* fetched) override {
    if (fetched != nullptr) *fetched = 0;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override { return count == 0 ? S_OK : S_FALSE; }
  HRESULT STDMETHODCALLTYPE Reset() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Clone(IEnumTASK** out) override { return createEmptyTaskEnum(out); }
};

}  // namespace

HRESULT createEmptyTaskEnum(IEnumTASK** out) {
  return createAndQuery<EmptyTaskEnum>(IID_IEnumTASK, reinterpret_cast<void**>(out));
}

}  // namespace lookout
