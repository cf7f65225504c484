// VariantArray: automation arrays of VARIANTs, made and filled in place.
#include "automation/variant_array.h"

#include <utility>

#include "automation/errors.h"

namespace vorn {

VariantArray::VariantArray(ULONG count) : array_(::SafeArrayCreateVector(VT_VARIANT, 0, count)) {
  if (!array_ || FAILED(::SafeArrayAccessData(array_, reinterpret_cast<void**>(&elements_)))) {
    if (array_) ::SafeArrayDestroy(array_);
    Raise(errors::kOutOfMemory);
  }
}

VariantArray::~VariantArray() {
  if (!array_) return;
  ::SafeArrayUnaccessData(array_);
  ::SafeArrayDestroy(array_);
}

unique_variant VariantArray::Done() noexcept {
  ::SafeArrayUnaccessData(array_);
  unique_variant result;
  V_VT(&result.ref()) = VT_ARRAY | VT_VARIANT;
  V_ARRAY(&result.ref()) = std::exchange(array_, nullptr);
  return result;
}

}  // namespace vorn
