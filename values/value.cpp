// clsValue: the value record's fields, how assigning one stores what the
// client gave, and the loaded data set into them.
#include "values/value.h"

#include <cstring>
#include <memory>
#include <new>

#include "values/value_load.h"

namespace vorn {

namespace {

// Unit by unit, with a zero unit after them: names are short, and a call to
// a copying function costs more than the copy (GCC would make the loop one).
#if defined(__GNUC__) && !defined(__clang__)
__attribute__((optimize("no-tree-loop-distribute-patterns")))
#endif
void CopyName(wchar_t* to, const wchar_t* name, UINT length) noexcept {
  for (UINT i = 0; i < length; ++i) to[i] = name[i];
  to[length] = L'\0';
}

}  // namespace

Value::Value(const wchar_t* name, UINT length) noexcept : name_length_(length), load_(nullptr) {
  CopyName(reinterpret_cast<wchar_t*>(this + 1), name, length);
}

Value::Value(const wchar_t* name, UINT length, ValueLoad& load) noexcept
    : DispatchObject(CountedByOwner()), name_length_(length), load_(&load) {
  CopyName(reinterpret_cast<wchar_t*>(this + 1), name, length);
}

ComPtr<Value> Value::Create(const wchar_t* name, UINT length) {
  void* memory = ::operator new(SizeWithName(length));
  return ComPtr<Value>::adopt(new (memory) Value(name, length));
}

ULONG Value::Release() {
  ValueLoad* load = load_;  // the record may be gone once its count or the load is released
  ULONG count = DispatchObject::Release();
  if (load && count == 1) {
    lent_ = false;
    if (load->Detached()) load->Release();
  }
  return count;
}

bool Value::HeldByClient() noexcept {
  ULONG count = DispatchObject::AddRef();
  DispatchObject::Release();
  return count > 2;
}

HRESULT Value::get_Name(BSTR* result) {
  VORN_CHECK_OUT(result);
  *result = nullptr;
  return Boundary([&] {
    bool renamed = kind_ == VT_VARIANT && assigned_->name;
    *result = (renamed ? CopyBstr(assigned_->name.get()) : MakeBstr(ListedName(), name_length_)).release();
  });
}

HRESULT Value::put_Name(BSTR value) {
  // The listed name stays: the collection still holds the record under it.
  return Boundary([&] {
    unique_bstr name = CopyBstr(value);
    Assign().name = std::move(name);
  });
}

void Value::ClearValue() noexcept {
  if (kind_ == VT_BSTR) {
    ::SysFreeString(text_);
  } else if (kind_ == VT_VARIANT) {
    delete assigned_;
  }
  kind_ = VT_EMPTY;
}

void Value::SetNumber(LONG number) noexcept {
  ClearValue();
  number_ = number;
  kind_ = VT_I4;
}

void Value::SetText(unique_bstr text) noexcept {
  ClearValue();
  text_ = text.release();
  kind_ = VT_BSTR;
}

void Value::SetLoadedText(UINT at, UINT length) noexcept {
  ClearValue();
  loaded_.at = at;
  loaded_.length = length;
  kind_ = VT_LPWSTR;
}

void Value::Store(unique_variant data) {
  if (load_) load_->FieldAssigned();
  if (kind_ == VT_VARIANT) {
    assigned_->value = std::move(data);
    return;
  }
  switch (V_VT(&data.ref())) {
    case VT_EMPTY: ClearValue(); break;
    case VT_I4: SetNumber(V_I4(&data.ref())); break;
    case VT_BSTR: {
      VARIANT text = data.release();
      SetText(unique_bstr(V_BSTR(&text)));
      break;
    }
    default: Assign().value = std::move(data);
  }
}

Value::Assigned& Value::Assign() {
  if (kind_ == VT_VARIANT) return *assigned_;
  if (load_) load_->FieldAssigned();
  auto assigned = std::make_unique<Assigned>();
  VARIANT& value = assigned->value.ref();
  if (kind_ == VT_I4) {
    V_VT(&value) = VT_I4;
    V_I4(&value) = number_;
  } else if (kind_ == VT_LPWSTR) {
    V_BSTR(&value) = MakeBstr(loaded_.length ? load_->Text(loaded_.at) : L"", loaded_.length).release();
    V_VT(&value) = VT_BSTR;
  } else if (kind_ == VT_BSTR) {
    V_VT(&value) = VT_BSTR;
    V_BSTR(&value) = text_;  // moved: nothing may fail after this
  }
  assigned_ = assigned.release();
  kind_ = VT_VARIANT;
  return *assigned_;
}

HRESULT Value::get_Value(VARIANT* result) {
  VORN_CHECK_OUT(result);
  ::VariantInit(result);
  return Boundary([&] {
    if (kind_ == VT_I4 || kind_ == VT_EMPTY) {  // nothing to copy
      V_VT(result) = kind_;
      if (kind_ == VT_I4) V_I4(result) = number_;
      return;
    }
    if (kind_ == VT_LPWSTR) {
      BSTR copy = ::SysAllocStringLen(loaded_.length ? load_->Text(loaded_.at) : L"", loaded_.length);
      if (!copy) ThrowIfFailed(E_OUTOFMEMORY);
      V_VT(result) = VT_BSTR;
      V_BSTR(result) = copy;
      return;
    }
    VARIANT held;  // a view of the value, copied to the caller
    V_VT(&held) = kind_ == VT_VARIANT ? static_cast<VARTYPE>(VT_EMPTY) : kind_;
    if (kind_ == VT_I4) V_I4(&held) = number_;
    if (kind_ == VT_BSTR) V_BSTR(&held) = text_;
    ThrowIfFailed(::VariantCopy(result, kind_ == VT_VARIANT ? &assigned_->value.ref() : &held));
  });
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
  return Boundary([&] { Store(CopyOfArgument(value)); });
}

HRESULT Value::putref_Value(VARIANT* value) {
  VORN_CHECK_OUT(value);
  return Boundary([&] {
    unique_variant copy = CopyOfArgument(value);
    VARTYPE type = V_VT(&copy.ref());
    if (type != VT_DISPATCH && type != VT_UNKNOWN) Raise(errors::kObjectRequired);
    Store(std::move(copy));
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
