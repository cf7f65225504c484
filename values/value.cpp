#include "values/value.h"

namespace vorn {

Value::Value() : name_(MakeBstr(L"")) {}

HRESULT Value::get_Name(BSTR* result) {
  VORN_CHECK_OUT(result);
  *result = nullptr;
  return Boundary([&] { *result = CopyBstr(name_.get()).release(); });
}

HRESULT Value::put_Name(BSTR value) {
  return Boundary([&] { name_ = CopyBstr(value); });
}

HRESULT Value::get_Value(VARIANT* result) {
  VORN_CHECK_OUT(result);
  ::VariantInit(result);
  return Boundary([&] { ThrowIfFailed(::VariantCopy(result, &value_.ref())); });
}

namespace {

// The value a client passed, as an owned copy; a reference through a null
// pointer (a malformed native call) is refused, never followed.
unique_variant CopyOfArgument(VARIANT* value) {
  if (IsMalformedReference(value)) Raise(errors::kInvalidProcedureCall);
  unique_variant copy;
  ThrowIfFailed(::VariantCopyInd(&copy.ref(), value));
  return copy;
}

}  // namespace

HRESULT Value::put_Value(VARIANT* value) {
  VORN_CHECK_OUT(value);
  return Boundary([&] { value_ = CopyOfArgument(value); });
}

HRESULT Value::putref_Value(VARIANT* value) {
  VORN_CHECK_OUT(value);
  return Boundary([&] {
    unique_variant copy = CopyOfArgument(value);
    VARTYPE type = V_VT(&copy.ref());
    if (type != VT_DISPATCH && type != VT_UNKNOWN) Raise(errors::kObjectRequired);
    value_ = std::move(copy);
  });
}

HRESULT Value::get_ValueType(LONG* result) {
  VORN_CHECK_OUT(result);
  *result = type_;
  return S_OK;
}

HRESULT Value::put_ValueType(LONG value) {
  type_ = value;
  return S_OK;
}

}  // namespace vorn
