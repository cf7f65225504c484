// Making BSTRs of a given length or from a zero-terminated string.
#include "automation/ownership.h"

#include "automation/errors.h"

namespace vorn {

unique_bstr MakeBstr(const wchar_t* text, UINT length) {
  unique_bstr b(::SysAllocStringLen(text, length));
  if (!b) Raise(errors::kOutOfMemory);
  return b;
}

unique_bstr MakeBstr(const wchar_t* text) { return MakeBstr(text, static_cast<UINT>(text ? wcslen(text) : 0)); }

}  // namespace vorn
