// Enumerator: the IEnumVARIANT that a collection hands out for a walk (For
// Each in VBScript and VBA, new Enumerator in JScript). It walks a snapshot
// of the collection's items, taken when it was made and holding references
// of its own, so that nothing done to the collection afterwards (a reload,
// an Add or a Delete, its release) changes or ends a walk in progress. A
// live enumerator keeps the module loaded, like every object of the library.
#pragma once

#include <oaidl.h>

#include <memory>
#include <vector>

#include "automation/ownership.h"

namespace vorn {

class Enumerator final : public IEnumVARIANT {
 public:
  using Items = std::vector<ComPtr<IDispatch>>;

  // A new enumerator at the first of items, holding one reference.
  static ComPtr<IEnumVARIANT> Create(Items items);

  Enumerator(const Enumerator&) = delete;
  Enumerator& operator=(const Enumerator&) = delete;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IEnumVARIANT: items come as VT_DISPATCH; Next and Skip return S_FALSE
  // when fewer items were left than asked for.
  HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* items, ULONG* fetched) override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** copy) override;

 private:
  // Clones share the snapshot, which no one changes, and move on their own.
  Enumerator(std::shared_ptr<const Items> items, size_t position) noexcept;
  ~Enumerator();

  std::shared_ptr<const Items> items_;
  size_t position_;
  LONG volatile references_ = 1;
};

}  // namespace vorn
