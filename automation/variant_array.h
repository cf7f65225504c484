// VariantArray: a new one-dimensional automation array of VARIANTs (lower
// bound 0), filled in place and handed over as a VT_ARRAY|VT_VARIANT value;
// what every member that returns an array builds it with.
#pragma once

#include <oaidl.h>
#include <oleauto.h>

#include <utility>

#include "automation/errors.h"
#include "automation/ownership.h"

namespace vorn {

// count Empty elements, with the data locked for filling; Done unlocks the
// array and hands it over. Destroyed unfinished, it frees what was put in.
class VariantArray {
 public:
  explicit VariantArray(ULONG count) : array_(::SafeArrayCreateVector(VT_VARIANT, 0, count)) {
    if (!array_ || FAILED(::SafeArrayAccessData(array_, reinterpret_cast<void**>(&elements_)))) {
      if (array_) ::SafeArrayDestroy(array_);
      Raise(errors::kOutOfMemory);
    }
  }
  ~VariantArray() {
    if (!array_) return;
    ::SafeArrayUnaccessData(array_);
    ::SafeArrayDestroy(array_);
  }
  VariantArray(const VariantArray&) = delete;
  VariantArray& operator=(const VariantArray&) = delete;
  VARIANT& operator[](ULONG i) noexcept { return elements_[i]; }
  unique_variant Done() noexcept {
    ::SafeArrayUnaccessData(array_);
    unique_variant result;
    V_VT(&result.ref()) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(&result.ref()) = std::exchange(array_, nullptr);
    return result;
  }

 private:
  SAFEARRAY* array_;
  VARIANT* elements_ = nullptr;
};

}  // namespace vorn
