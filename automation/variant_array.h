// VariantArray: a new one-dimensional automation array of VARIANTs
// (VT_ARRAY|VT_VARIANT, lower bound 0), filled in place and handed over as
// a VARIANT: what scripts index and walk with For Each.
#pragma once

#include <oaidl.h>

#include "automation/ownership.h"

namespace vorn {

// count Empty elements, with the data locked for filling; Done unlocks the
// array and hands it over. An array not handed over is destroyed with what
// its elements hold.
class VariantArray {
 public:
  explicit VariantArray(ULONG count);
  ~VariantArray();
  VariantArray(const VariantArray&) = delete;
  VariantArray& operator=(const VariantArray&) = delete;
  VARIANT& operator[](ULONG i) noexcept { return elements_[i]; }
  unique_variant Done() noexcept;

 private:
  SAFEARRAY* array_;
  VARIANT* elements_ = nullptr;
};

}  // namespace vorn
