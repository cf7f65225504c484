// Conversions of the extra members' arguments: text, whole numbers in a
// range, truth values, the registry view, and the elements of arrays.
#include "automation/arguments.h"

#include <climits>
#include <cmath>
#include <string>

#include "automation/errors.h"

namespace vorn::arguments {

namespace {

[[noreturn]] void Refuse(HRESULT hr, const wchar_t* what, const wchar_t* expected) {
  throw Error(hr, std::wstring(what) + L" " + expected);
}

// The value itself, with a reference (how C++ clients may pass it) followed.
unique_variant Plain(const VARIANT& value) {
  unique_variant plain;
  ThrowIfFailed(::VariantCopyInd(&plain.ref(), const_cast<VARIANT*>(&value)));
  return plain;
}

// An integral number as its sign and magnitude.
struct Whole {
  bool negative = false;
  ULONGLONG magnitude = 0;
};

Whole FromSigned(LONGLONG n) {
  return {n < 0, n < 0 ? 0 - static_cast<ULONGLONG>(n) : static_cast<ULONGLONG>(n)};
}

// Plain decimal text: digits, with a leading minus sign for a negative
// number; nothing else, not even spaces.
Whole FromText(BSTR text, const wchar_t* what) {
  UINT length = ::SysStringLen(text), i = 0;
  Whole n;
  if (length && text[0] == L'-') n.negative = true, i = 1;
  if (i == length) Refuse(errors::kTypeMismatch, what, L"must be a whole number or its decimal text");
  for (; i < length; ++i) {
    if (text[i] < L'0' || text[i] > L'9')
      Refuse(errors::kTypeMismatch, what, L"must be a whole number or its decimal text");
    ULONGLONG digit = static_cast<ULONGLONG>(text[i] - L'0');
    if (n.magnitude > (ULLONG_MAX - digit) / 10) Refuse(errors::kOverflow, what, L"is too large");
    n.magnitude = n.magnitude * 10 + digit;
  }
  return n;
}

Whole FromDouble(double d, const wchar_t* what) {
  if (!std::isfinite(d) || std::fabs(d) >= 18446744073709551616.0) Refuse(errors::kOverflow, what, L"is too large");
  if (d != std::floor(d)) Refuse(errors::kInvalidProcedureCall, what, L"must be a whole number, not a fraction");
  return {d < 0, static_cast<ULONGLONG>(std::fabs(d))};
}

// A DECIMAL's 96-bit integer divided by 10 to the power of its scale; a
// remainder is a fraction.
Whole FromDecimal(const DECIMAL& dec, const wchar_t* what) {
  ULONG hi = dec.Hi32;
  ULONGLONG lo = dec.Lo64;
  for (BYTE scale = dec.scale; scale > 0; --scale) {
    ULONGLONG upper = (static_cast<ULONGLONG>(hi % 10) << 32) | (lo >> 32);
    ULONGLONG lower = ((upper % 10) << 32) | (lo & 0xFFFFFFFFu);
    if (lower % 10) Refuse(errors::kInvalidProcedureCall, what, L"must be a whole number, not a fraction");
    hi /= 10;
    lo = ((upper / 10) << 32) | (lower / 10);
  }
  if (hi) Refuse(errors::kOverflow, what, L"is too large");
  return {(dec.sign & DECIMAL_NEG) != 0 && lo != 0, lo};
}

Whole Integral(const VARIANT& value, const wchar_t* what) {
  unique_variant plain = Plain(value);
  const VARIANT& v = plain.ref();
  switch (V_VT(&v)) {
    case VT_I1: return FromSigned(V_I1(&v));
    case VT_I2: return FromSigned(V_I2(&v));
    case VT_I4: return FromSigned(V_I4(&v));
    case VT_INT: return FromSigned(V_INT(&v));
    case VT_I8: return FromSigned(V_I8(&v));
    case VT_UI1: return {false, V_UI1(&v)};
    case VT_UI2: return {false, V_UI2(&v)};
    case VT_UI4: return {false, V_UI4(&v)};
    case VT_UINT: return {false, V_UINT(&v)};
    case VT_UI8: return {false, V_UI8(&v)};
    case VT_R4: return FromDouble(V_R4(&v), what);
    case VT_R8: return FromDouble(V_R8(&v), what);
    case VT_CY:
      if (V_CY(&v).int64 % 10000)
        Refuse(errors::kInvalidProcedureCall, what, L"must be a whole number, not a fraction");
      return FromSigned(V_CY(&v).int64 / 10000);
    case VT_DECIMAL: return FromDecimal(V_DECIMAL(&v), what);
    case VT_BSTR: return FromText(V_BSTR(&v), what);
    case VT_NULL: Refuse(errors::kInvalidUseOfNull, what, L"cannot be Null");
    default: Refuse(errors::kTypeMismatch, what, L"must be a whole number or its decimal text");
  }
}

[[noreturn]] void OutOfRange(const wchar_t* what, const std::wstring& low, const std::wstring& high) {
  throw Error(errors::kOverflow, std::wstring(what) + L" must lie from " + low + L" to " + high);
}

// The elements of a JScript array: its length, then each index by name.
void ForEachScriptElement(IDispatch* array, ULONGLONG length, const std::function<void(const VARIANT&)>& each) {
  DISPPARAMS none{};
  for (ULONGLONG i = 0; i < length; ++i) {
    std::wstring name = std::to_wstring(i);
    LPOLESTR names[] = {name.data()};
    DISPID id = DISPID_UNKNOWN;
    unique_variant element;
    HRESULT hr = array->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (SUCCEEDED(hr)) {
      ThrowIfFailed(array->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &element.ref(),
                                  nullptr, nullptr));
    } else if (hr != DISP_E_UNKNOWNNAME && hr != DISP_E_MEMBERNOTFOUND) {
      ThrowIfFailed(hr);
    }  // a hole reads as Empty
    each(element.ref());
  }
}

}  // namespace

namespace {

// A plain value (not Null, an object, an array or a missing argument)
// converted to type to; what cannot be is refused as "what must be
// expected".
unique_variant Converted(const VARIANT& value, VARTYPE to, USHORT flags, const wchar_t* what,
                         const wchar_t* expected) {
  VARTYPE type = V_VT(&value) & ~VT_BYREF;
  if (type == VT_NULL) Refuse(errors::kInvalidUseOfNull, what, L"cannot be Null");
  if ((type & VT_ARRAY) || type == VT_DISPATCH || type == VT_UNKNOWN || type == VT_RECORD || type == VT_ERROR ||
      type == VT_VARIANT)
    Refuse(errors::kTypeMismatch, what, expected);
  unique_variant converted;
  HRESULT hr = ::VariantChangeType(&converted.ref(), const_cast<VARIANT*>(&value), flags, to);
  if (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_BADVARTYPE) Refuse(errors::kTypeMismatch, what, expected);
  ThrowIfFailed(hr);
  return converted;
}

}  // namespace

unique_bstr Text(const VARIANT& value, const wchar_t* what) {
  VARIANT done = Converted(value, VT_BSTR, VARIANT_ALPHABOOL, what, L"must be text or a number").release();
  return V_BSTR(&done) ? unique_bstr(V_BSTR(&done)) : MakeBstr(L"");
}

bool Boolean(const VARIANT& value, const wchar_t* what) {
  return V_BOOL(&Converted(value, VT_BOOL, 0, what, L"must be True or False").ref()) != VARIANT_FALSE;
}

LONGLONG Signed(const VARIANT& value, LONGLONG low, LONGLONG high, const wchar_t* what) {
  Whole n = Integral(value, what);
  ULONGLONG most = n.negative ? static_cast<ULONGLONG>(-(low + 1)) + 1 : static_cast<ULONGLONG>(high);
  if ((n.negative && low >= 0) || n.magnitude > most) OutOfRange(what, std::to_wstring(low), std::to_wstring(high));
  return n.negative ? -static_cast<LONGLONG>(n.magnitude - 1) - 1 : static_cast<LONGLONG>(n.magnitude);
}

ULONGLONG Unsigned(const VARIANT& value, ULONGLONG high, const wchar_t* what) {
  Whole n = Integral(value, what);
  if ((n.negative && n.magnitude) || n.magnitude > high) OutOfRange(what, L"0", std::to_wstring(high));
  return n.magnitude;
}

bool ForEachElement(const VARIANT& value, const std::function<void(const VARIANT&)>& each) {
  VARTYPE type = V_VT(&value);
  bool by_reference = (type & VT_BYREF) != 0;
  if (type & VT_ARRAY) {
    SAFEARRAY* array = by_reference ? (V_ARRAYREF(&value) ? *V_ARRAYREF(&value) : nullptr) : V_ARRAY(&value);
    if (!array) return true;  // no array at all: no elements
    if (::SafeArrayGetDim(array) != 1)
      throw Error(errors::kInvalidProcedureCall, L"The array must have one dimension");
    VARTYPE element_type = VT_EMPTY;
    if (FAILED(::SafeArrayGetVartype(array, &element_type))) element_type = type & VT_TYPEMASK;
    LONG low = 0, high = -1;
    ThrowIfFailed(::SafeArrayGetLBound(array, 1, &low));
    ThrowIfFailed(::SafeArrayGetUBound(array, 1, &high));
    for (LONGLONG i = low; i <= high; ++i) {
      LONG index = static_cast<LONG>(i);
      unique_variant element;
      VARIANT& e = element.ref();
      switch (element_type) {
        case VT_VARIANT: ThrowIfFailed(::SafeArrayGetElement(array, &index, &e)); break;
        case VT_DECIMAL:
          ThrowIfFailed(::SafeArrayGetElement(array, &index, &V_DECIMAL(&e)));
          V_VT(&e) = VT_DECIMAL;
          break;
        case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_INT: case VT_UI1: case VT_UI2: case VT_UI4:
        case VT_UI8: case VT_UINT: case VT_R4: case VT_R8: case VT_CY: case VT_DATE: case VT_BOOL: case VT_BSTR:
        case VT_DISPATCH: case VT_UNKNOWN: case VT_ERROR:
          // The element lands where the VARIANT keeps a value of its type.
          ThrowIfFailed(::SafeArrayGetElement(array, &index, &V_UI1(&e)));
          V_VT(&e) = element_type;
          break;
        default: throw Error(errors::kTypeMismatch, L"The array's elements are of a type that is not supported");
      }
      each(e);
      if (i == high) break;  // high may be the largest LONG
    }
    return true;
  }
  if ((type & VT_TYPEMASK) != VT_DISPATCH) return false;
  IDispatch* object = by_reference ? (V_DISPATCHREF(&value) ? *V_DISPATCHREF(&value) : nullptr) : V_DISPATCH(&value);
  if (!object) return false;
  LPOLESTR length_name[] = {const_cast<LPOLESTR>(L"length")};
  DISPID length_id = DISPID_UNKNOWN;
  if (FAILED(object->GetIDsOfNames(IID_NULL, length_name, 1, LOCALE_USER_DEFAULT, &length_id))) return false;
  DISPPARAMS none{};
  unique_variant length;
  if (FAILED(object->Invoke(length_id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &length.ref(),
                            nullptr, nullptr)))
    return false;
  ForEachScriptElement(object, Unsigned(length.ref(), LONG_MAX, L"The array's length"), each);
  return true;
}

}  // namespace vorn::arguments
