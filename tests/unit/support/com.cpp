#include "support/com.h"

#include <oleauto.h>

namespace vorn::test {

unique_variant VI4(LONG v) {
  unique_variant r;
  V_VT(&r.ref()) = VT_I4;
  V_I4(&r.ref()) = v;
  return r;
}

unique_variant VStr(const std::wstring& s) {
  unique_variant r;
  V_VT(&r.ref()) = VT_BSTR;
  V_BSTR(&r.ref()) = B(s).release();
  return r;
}

VARIANT Ref(VARIANT& var) {
  VARIANT r;
  ::VariantInit(&r);
  V_VT(&r) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&r) = &var;
  return r;
}

DISPID IdOf(IUnknown* object, const std::wstring& name) {
  ComPtr<IDispatch> disp;
  if (FAILED(object->QueryInterface(IID_IDispatch, disp.put_void()))) return DISPID_UNKNOWN;
  std::wstring copy = name;
  LPOLESTR names[1] = {copy.data()};
  DISPID id = DISPID_UNKNOWN;
  if (FAILED(disp->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) return DISPID_UNKNOWN;
  return id;
}

DispResult Invoke(IUnknown* object, const std::wstring& name, WORD flags, std::vector<VARIANT> args) {
  DispResult r;
  ComPtr<IDispatch> disp;
  r.hr = object->QueryInterface(IID_IDispatch, disp.put_void());
  if (FAILED(r.hr)) return r;
  DISPID id = DISPID_VALUE;
  if (!name.empty()) {
    std::wstring copy = name;
    LPOLESTR names[1] = {copy.data()};
    r.hr = disp->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(r.hr)) return r;
  }
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPID put_id = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    params.rgdispidNamedArgs = &put_id;
    params.cNamedArgs = 1;
  }
  EXCEPINFO excep{};
  UINT arg_err = 0;
  r.hr = disp->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &r.value.ref(), &excep, &arg_err);
  if (r.hr == DISP_E_EXCEPTION) {
    if (excep.pfnDeferredFillIn) excep.pfnDeferredFillIn(&excep);
    r.scode = excep.scode ? excep.scode : static_cast<HRESULT>(excep.wCode);
    if (excep.bstrDescription) r.description = W(excep.bstrDescription);
  }
  ::SysFreeString(excep.bstrDescription);
  ::SysFreeString(excep.bstrSource);
  ::SysFreeString(excep.bstrHelpFile);
  return r;
}

DispResult Get(IUnknown* object, const std::wstring& name, std::vector<VARIANT> args) {
  return Invoke(object, name, DISPATCH_PROPERTYGET | DISPATCH_METHOD, std::move(args));
}

DispResult Put(IUnknown* object, const std::wstring& name, VARIANT value) {
  return Invoke(object, name, DISPATCH_PROPERTYPUT, {value});
}

}  // namespace vorn::test
