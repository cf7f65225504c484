// Making BSTRs of a given length or from a zero-terminated string, and
// VARIANTs of text and of Booleans.
#include "automation/ownership.h"

#include "automation/errors.h"

namespace vorn {

unique_bstr MakeBstr(const wchar_t* text, UINT length) {
  unique_bstr b(::SysAllocStringLen(text, length));
  if (!b) Raise(errors::kOutOfMemory);
  return b;
}

unique_bstr MakeBstr(const wchar_t* text) { return MakeBstr(text, static_cast<UINT>(text ? wcslen(text) : 0)); }

unique_variant TextVariant(const wchar_t* text, size_t length) {
  unique_variant result;
  V_BSTR(&result.ref()) = MakeBstr(text, static_cast<UINT>(length)).release();
  V_VT(&result.ref()) = VT_BSTR;
  return result;
}

unique_variant BoolVariant(bool value) noexcept {
  unique_variant result;
  V_VT(&result.ref()) = VT_BOOL;
  V_BOOL(&result.ref()) = value ? VARIANT_TRUE : VARIANT_FALSE;
  return result;
}

}  // namespace vorn
