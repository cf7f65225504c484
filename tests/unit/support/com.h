// Small helpers for driving the library's objects from tests: strings and
// variants, and late-bound calls through IDispatch as a script makes them.
#pragma once

#include <oaidl.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "platform/handles.h"

namespace vorn::test {

inline unique_bstr B(const std::wstring& s) { return MakeBstr(s.data(), static_cast<UINT>(s.size())); }
inline std::wstring W(BSTR b) { return std::wstring(b ? b : L"", ::SysStringLen(b)); }

unique_variant VI4(LONG v);
unique_variant VStr(const std::wstring& s);

// The outcome of a late-bound call.
struct DispResult {
  HRESULT hr = S_OK;      // what IDispatch::Invoke returned
  HRESULT scode = S_OK;   // the member's error, when hr is DISP_E_EXCEPTION
  std::wstring description;
  unique_variant value;
  // The error number a script sees (Err.Number).
  HRESULT error() const { return hr == DISP_E_EXCEPTION ? scode : hr; }
};

// Looks up name and invokes it with args in their natural order (the first
// argument first); for a property put the last argument is the value.
DispResult Invoke(IUnknown* object, const std::wstring& name, WORD flags, std::vector<VARIANT> args = {});
DispResult Get(IUnknown* object, const std::wstring& name, std::vector<VARIANT> args = {});
DispResult Put(IUnknown* object, const std::wstring& name, VARIANT value);

// The dispatch identifier of name, or DISPID_UNKNOWN.
DISPID IdOf(IUnknown* object, const std::wstring& name);

// A VT_BYREF|VT_VARIANT argument referring to var, as script engines pass
// their variables.
VARIANT Ref(VARIANT& var);

}  // namespace vorn::test
