// Small helpers for driving the library's objects from tests: strings and
// variants, and late-bound calls through IDispatch as a script makes them.
#pragma once

#include <oaidl.h>

#include <string>
#include <vector>

#include "automation/ownership.h"

namespace vorn::test {

inline unique_bstr B(const std::wstring& s) { return MakeBstr(s.data(), static_cast<UINT>(s.size())); }
inline std::wstring W(BSTR b) { return std::wstring(b ? b : L"", ::SysStringLen(b)); }
// The description of the thread's current error information, or "".
inline std::wstring ThreadErrorDescription() {
  ComPtr<IErrorInfo> info;
  unique_bstr text;
  if (::GetErrorInfo(0, info.put()) == S_OK && info) info->GetDescription(text.put());
  return W(text.get());
}
inline std::string Narrow(const std::wstring& s) { return std::string(s.begin(), s.end()); }

inline unique_variant VI4(LONG v) {
  unique_variant r;
  V_VT(&r.ref()) = VT_I4;
  V_I4(&r.ref()) = v;
  return r;
}
inline unique_variant VStr(const std::wstring& s) {
  unique_variant r;
  V_VT(&r.ref()) = VT_BSTR;
  V_BSTR(&r.ref()) = B(s).release();
  return r;
}
// A number converted to vt, or Empty or Null.
inline unique_variant Of(VARTYPE vt, double number = 0) {
  unique_variant v;
  V_VT(&v.ref()) = VT_R8;
  V_R8(&v.ref()) = number;
  if (vt == VT_NULL || vt == VT_EMPTY) V_VT(&v.ref()) = vt;
  else ::VariantChangeType(&v.ref(), &v.ref(), 0, vt);
  return v;
}
// A VT_BYREF|VT_VARIANT argument referring to var, as script engines pass
// their variables.
inline VARIANT Ref(VARIANT& var) {
  VARIANT r;
  V_VT(&r) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&r) = &var;
  return r;
}

// Invokes name late bound, as a script does, with args in their natural order
// (for a property put, the value last): the error a script would see
// (Err.Number), and the result in *result.
inline HRESULT Invoke(IUnknown* object, std::wstring name, WORD flags, std::vector<VARIANT> args = {},
                      VARIANT* result = nullptr) {
  ComPtr<IDispatch> disp;
  LPOLESTR names[1] = {name.data()};
  DISPID id = DISPID_VALUE, put_id = DISPID_PROPERTYPUT;
  HRESULT hr = object->QueryInterface(IID_IDispatch, disp.put_void());
  if (SUCCEEDED(hr)) hr = disp->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  bool put = flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
  DISPPARAMS params{reversed.data(), put ? &put_id : nullptr, static_cast<UINT>(reversed.size()), put ? 1u : 0u};
  EXCEPINFO excep{};
  hr = disp->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &excep, nullptr);
  if (hr == DISP_E_EXCEPTION && excep.pfnDeferredFillIn) excep.pfnDeferredFillIn(&excep);
  if (hr == DISP_E_EXCEPTION) hr = excep.scode ? excep.scode : static_cast<HRESULT>(excep.wCode);
  for (BSTR b : {excep.bstrDescription, excep.bstrSource, excep.bstrHelpFile}) ::SysFreeString(b);
  return hr;
}

// Every item of a walk, as For Each takes them: the enumerator that
// DISPID_NEWENUM hands out, asked for one item at a time.
inline std::vector<ComPtr<IDispatch>> Walk(IUnknown* collection) {
  std::vector<ComPtr<IDispatch>> items;
  ComPtr<IDispatch> disp;
  if (FAILED(collection->QueryInterface(IID_IDispatch, disp.put_void()))) return items;
  DISPPARAMS none{};
  unique_variant result;
  if (FAILED(disp->Invoke(DISPID_NEWENUM, IID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none,
                          &result.ref(), nullptr, nullptr)))
    return items;
  ComPtr<IEnumVARIANT> walk;
  if (FAILED(V_UNKNOWN(&result.ref())->QueryInterface(IID_IEnumVARIANT, walk.put_void()))) return items;
  for (unique_variant item; walk->Next(1, &item.ref(), nullptr) == S_OK; item = unique_variant())
    items.push_back(ComPtr<IDispatch>(V_DISPATCH(&item.ref())));
  return items;
}

}  // namespace vorn::test
