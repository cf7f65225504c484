// The library's error type, its conventional numbers and descriptions, and
// how an error leaves a member as an HRESULT with IErrorInfo or EXCEPINFO.
#include "automation/errors.h"

#include <oleauto.h>

#include "automation/ownership.h"

namespace vorn {

namespace {
constexpr wchar_t kSource[] = L"VornRegAccLib";
}  // namespace

const wchar_t* DescriptionOf(HRESULT hr) noexcept {
  switch (hr) {
    case errors::kInvalidProcedureCall: return L"Invalid procedure call or argument";
    case errors::kOverflow: return L"Overflow";
    case errors::kOutOfMemory: return L"Out of memory";
    case errors::kSubscriptOutOfRange: return L"Subscript out of range";
    case errors::kTypeMismatch: return L"Type mismatch";
    case errors::kInvalidUseOfNull: return L"Invalid use of Null";
    case errors::kObjectRequired: return L"Object required";
    case errors::kDuplicateKey:
      return L"This key is already associated with an element of this collection";
    case E_POINTER: return L"Invalid pointer";
    // The platform's dispatch statuses, as script engines describe them.
    case DISP_E_NOTACOLLECTION: return L"Object not a collection";
    case DISP_E_MEMBERNOTFOUND:
    case DISP_E_UNKNOWNNAME: return L"Object doesn't support this property or method";
    case DISP_E_BADPARAMCOUNT: return L"Wrong number of arguments or invalid property assignment";
    case DISP_E_NONAMEDARGS: return L"Object doesn't support named arguments";
    case DISP_E_PARAMNOTFOUND: return L"Named argument not found";
    case DISP_E_PARAMNOTOPTIONAL: return L"Argument not optional";
    case DISP_E_UNKNOWNLCID: return L"Object doesn't support current locale setting";
    case DISP_E_BADINDEX: return L"Subscript out of range";
    default: return L"";
  }
}

void Raise(HRESULT hr) { throw Error(hr, DescriptionOf(hr)); }

void ThrowIfFailed(HRESULT hr) {
  if (SUCCEEDED(hr)) return;
  switch (hr) {
    case DISP_E_OVERFLOW: Raise(errors::kOverflow);
    case DISP_E_TYPEMISMATCH:
    case DISP_E_BADVARTYPE: Raise(errors::kTypeMismatch);
    case E_OUTOFMEMORY: Raise(errors::kOutOfMemory);
    case E_INVALIDARG: Raise(errors::kInvalidProcedureCall);
    default: break;
  }
  // Another object's failure: keep its number and the description it left.
  std::wstring description = DescriptionOf(hr);
  ComPtr<IErrorInfo> info;
  if (::GetErrorInfo(0, info.put()) == S_OK && info) {
    unique_bstr text;
    if (SUCCEEDED(info->GetDescription(text.put())) && text) description.assign(text.get(), ::SysStringLen(text.get()));
  }
  throw Error(hr, std::move(description));
}

HRESULT ReportError(HRESULT hr, const wchar_t* description, const IID& iid) noexcept {
  ComPtr<ICreateErrorInfo> create;
  if (SUCCEEDED(::CreateErrorInfo(create.put()))) {
    create->SetGUID(iid);
    create->SetSource(const_cast<LPOLESTR>(kSource));
    create->SetDescription(const_cast<LPOLESTR>(description));
    ComPtr<IErrorInfo> info = create.query<IErrorInfo>(IID_IErrorInfo);
    ::SetErrorInfo(0, info.get());
  }
  return hr;
}

namespace {

HRESULT ReportDescribedException(HRESULT hr, const wchar_t* description, const IID& iid,
                                 EXCEPINFO* excep_info) noexcept {
  ReportError(hr, description, iid);
  if (!excep_info) return hr;
  *excep_info = EXCEPINFO{};
  excep_info->scode = hr;
  excep_info->bstrSource = ::SysAllocString(kSource);
  excep_info->bstrDescription = ::SysAllocString(description);
  return DISP_E_EXCEPTION;
}

}  // namespace

HRESULT ReportException(HRESULT hr, const IID& iid, EXCEPINFO* excep_info) noexcept {
  return ReportDescribedException(hr, DescriptionOf(hr), iid, excep_info);
}

HRESULT ReportException(const Error& e, const IID& iid, EXCEPINFO* excep_info) noexcept {
  return ReportDescribedException(e.hr(), e.description().c_str(), iid, excep_info);
}

}  // namespace vorn
