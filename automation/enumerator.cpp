// The IEnumVARIANT over a snapshot of a collection's items.
#include "automation/enumerator.h"

#include <algorithm>
#include <new>

#include "automation/errors.h"
#include "automation/module_count.h"

namespace vorn {

namespace {

HRESULT NullPointer() noexcept { return ReportError(E_POINTER, DescriptionOf(E_POINTER), IID_IEnumVARIANT); }

}  // namespace

ComPtr<IEnumVARIANT> Enumerator::Create(Items items) {
  auto shared = std::make_shared<const Items>(std::move(items));
  return ComPtr<IEnumVARIANT>::adopt(new Enumerator(std::move(shared), 0));
}

Enumerator::Enumerator(std::shared_ptr<const Items> items, size_t position) noexcept
    : items_(std::move(items)), position_(position) {
  module_count::Increment();
}

Enumerator::~Enumerator() { module_count::Decrement(); }

HRESULT Enumerator::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IEnumVARIANT)) return E_NOINTERFACE;
  *object = static_cast<IEnumVARIANT*>(this);
  AddRef();
  return S_OK;
}

ULONG Enumerator::AddRef() { return static_cast<ULONG>(::InterlockedIncrement(&references_)); }

ULONG Enumerator::Release() {
  LONG left = ::InterlockedDecrement(&references_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

HRESULT Enumerator::Next(ULONG count, VARIANT* items, ULONG* fetched) {
  if (fetched) *fetched = 0;
  if (count > 0 && !items) return NullPointer();
  ULONG filled = 0;
  for (; filled < count && position_ < items_->size(); ++filled, ++position_) {
    VARIANT& slot = items[filled];
    ::VariantInit(&slot);
    V_VT(&slot) = VT_DISPATCH;
    V_DISPATCH(&slot) = (*items_)[position_].copy();
  }
  if (fetched) *fetched = filled;
  return filled == count ? S_OK : S_FALSE;
}

HRESULT Enumerator::Skip(ULONG count) {
  size_t skipped = std::min<size_t>(count, items_->size() - position_);
  position_ += skipped;
  return skipped == count ? S_OK : S_FALSE;
}

HRESULT Enumerator::Reset() {
  position_ = 0;
  return S_OK;
}

HRESULT Enumerator::Clone(IEnumVARIANT** copy) {
  if (!copy) return NullPointer();
  *copy = new (std::nothrow) Enumerator(items_, position_);
  return *copy ? S_OK : E_OUTOFMEMORY;
}

}  // namespace vorn
