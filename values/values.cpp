// clsValues: the value collection's load into records, its lookups, Add,
// Delete, GetValue and SetValue.
#include "values/values.h"

#include <climits>
#include <string>
#include <vector>

#include "automation/arguments.h"
#include "registry/service.h"
#include "registry/view.h"
#include "registry/paths.h"
#include "values/value.h"
#include "values/value_data.h"

namespace vorn {

namespace {

// Whether the value can be taken as a number: numbers, numeric text, Empty
// (as 0) and Booleans pass; Null, dates, other text, arrays and objects
// without a numeric default value do not.
bool IsNumeric(const VARIANT& value) {
  if ((V_VT(&value) & ~VT_BYREF) == VT_DATE) return false;
  unique_variant number;
  return SUCCEEDED(::VariantChangeType(&number.ref(), const_cast<VARIANT*>(&value), 0, VT_R8));
}

// Stores the integer in the caller's variable.
void WriteBack(VARIANT* variable, LONG data) noexcept {
  if (V_VT(variable) == (VT_BYREF | VT_I4) && V_I4REF(variable)) {
    *V_I4REF(variable) = data;
    return;
  }
  ::VariantClear(variable);
  V_VT(variable) = VT_I4;
  V_I4(variable) = data;
}

}  // namespace

Values::Values() : path_(MakeBstr(L"")) {}

template <typename Write>
VARIANT_BOOL Values::WriteThenReload(Write&& write) {
  bool done = false;
  {
    unique_hkey key;
    // A key that cannot be opened: false, and the records stay as they are.
    if (registry::OpenKey(hkey_, path_.get(), registry::kWrite | view_, key) != registry::kSuccess)
      return VARIANT_FALSE;
    done = write(key.get());
  }  // the key is closed before the reload opens it again
  RefreshNow();
  return done ? VARIANT_TRUE : VARIANT_FALSE;
}

KeyedCollection& Values::Records() {
  if (!values_) {
    load_ = ValueLoad::Create();
    values_ = std::make_unique<KeyedCollection>(load_.get());
  }
  return *values_;
}

void Values::EnsureLoaded() {
  if (!refreshed_) RefreshNow();
}

void Values::RefreshNow() {
  refreshed_ = true;
  values_.reset();  // before the load it reads
  load_ = ValueLoad::Create();
  values_ = std::make_unique<KeyedCollection>(load_.get());
  ValueLoad& load = *load_;
  KeyedCollection& records = *values_;

  unique_hkey key;  // closed on every way out, errors included
  if (registry::OpenKey(hkey_, path_.get(), registry::kRead | view_, key) != registry::kSuccess) return;
  registry::ValueReader reader(key.get());

  // Names and types, one index at a time; no data is fetched here. Each
  // record is held under the name the registry listed, which it keeps, and
  // its data is queried by that name.
  for (registry::IndexWalk walk;; walk.Next()) {
    LONG status = reader.Read(walk.Index());
    if (walk.Ends(status)) break;
    // A failed index filled nothing: no record is made from it.
    if (status == registry::kSuccess) {
      Value& record = load.Append(reader.Name(), reader.NameLength(), static_cast<LONG>(reader.Type()));
      try {
        records.AddNext(record.Key());
      } catch (...) {
        load.RemoveLast();  // a name held already: the record is not kept
        throw;
      }
    }
  }

  records.Seal();

  // The data of the two decoded types, by each record's type; any other
  // type, and data that cannot be read, leaves the record's value Empty.
  // Strings stay in the load until a client reads one.
  for (size_t position = 0; position < load.Count(); ++position) {
    Value& record = load.At(position);
    if (record.Type() == REG_DWORD) {
      LONG data = 0;
      if (reader.QueryDword(record.ListedName(), record.ListedNameLength(), data) != registry::kSuccess) continue;
      record.SetNumber(data);
    } else if (record.Type() == REG_SZ) {
      const wchar_t* text = nullptr;
      UINT length = 0;
      if (reader.QueryText(record.ListedName(), record.ListedNameLength(), text, length) != registry::kSuccess)
        continue;
      record.SetLoadedText(load.KeepText(text, length), length);
    }
  }
  load.Seal();
}

namespace {

// A registry status that ends GetValue, as an error that names what failed.
[[noreturn]] void ReadFailed(LONG status, const wchar_t* what, BSTR name) {
  std::wstring text = std::wstring(what) + L" \"" + std::wstring(name ? name : L"", ::SysStringLen(name)) + L"\"";
  if (status == ERROR_FILE_NOT_FOUND) text += L" does not exist";
  else text += L" cannot be read (error " + std::to_wstring(status) + L")";
  throw Error(HRESULT_FROM_WIN32(status), text);
}

}  // namespace

unique_variant Values::GetValue(BSTR name) {
  std::vector<BYTE> data(512);
  DWORD type = 0, size = 0;
  {
    unique_hkey key;
    LONG status = registry::OpenKey(hkey_, path_.get(), registry::kRead | view_, key);
    if (status != registry::kSuccess) ReadFailed(status, L"The key", path_.get());
    status = registry::QueryValue(key.get(), name, type, data, size);
    if (status != registry::kSuccess) ReadFailed(status, L"The value", name);
  }  // closed before the data is decoded
  return value_data::Decode(type, data.data(), size);
}

VARIANT_BOOL Values::SetValue(BSTR name, const VARIANT& value, DWORD type) {
  // Encoded first: a refusal writes nothing and reloads nothing.
  std::vector<BYTE> data = value_data::Encode(value, type);
  return WriteThenReload([&](HKEY key) {
    return registry::SetValue(key, name, type, data.data(), static_cast<DWORD>(data.size())) == registry::kSuccess;
  });
}

void Values::InvokeExtra(const ExtraMember& member, ExtraCall& call) {
  switch (member.id) {
    case VORN_DISPID_GETVALUE:
      call.result = GetValue(arguments::Text(*call.arguments[0], L"The value name").get());
      break;
    case VORN_DISPID_SETVALUE: {
      unique_bstr name = arguments::Text(*call.arguments[0], L"The value name");
      auto type = static_cast<DWORD>(arguments::Signed(*call.arguments[2], INT_MIN, UINT_MAX, L"The value type"));
      call.result = BoolVariant(SetValue(name.get(), *call.arguments[1], type) == VARIANT_TRUE);
      break;
    }
    case VORN_DISPID_VIEW: registry::ServeView(call, view_); break;
  }
}

HRESULT Values::get_ValueExists(BSTR* ValueName, VARIANT_BOOL* result) {
  VORN_CHECK_OUT(ValueName);
  VORN_CHECK_OUT(result);
  *result = VARIANT_FALSE;
  return Boundary([&] {
    EnsureLoaded();  // an error of this load reaches the caller
    try {
      // Looked up by name only, also when the text is a number.
      unique_bstr name = paths::TrimSpaces(*ValueName);
      IDispatch* item = Records().Find(name.get(), ::SysStringLen(name.get()));
      if (!item) return;
      ComPtr<clsValue> record;
      if (FAILED(item->QueryInterface(guids::IID_clsValue, record.put_void())) || !record) return;
      unique_variant value;
      if (FAILED(record->get_Value(&value.ref()))) return;
      *result = VARIANT_TRUE;
    } catch (...) {
      *result = VARIANT_FALSE;
    }
  });
}

HRESULT Values::get_Item(VARIANT* Index, clsValue** result) {
  VORN_CHECK_OUT(Index);
  VORN_CHECK_OUT(result);
  *result = nullptr;
  return Boundary([&] {
    EnsureLoaded();
    // Every item is a record. A plain position (as a C++ client passes it)
    // goes straight to it.
    Value* record = Value::Of(V_VT(Index) == VT_I4 ? Records().ItemAt(V_I4(Index)) : Records().Item(*Index));
    record->AddRef();
    *result = record->Published();
  });
}

HRESULT Values::get_Count(LONG* result) {
  VORN_CHECK_OUT(result);
  *result = 0;
  return Boundary([&] {
    EnsureLoaded();
    *result = Records().Count();
  });
}

HRESULT Values::Add(BSTR* ValueName, VARIANT* Value, LONG* ValueType, VARIANT_BOOL* result) {
  VORN_CHECK_OUT(ValueName);
  VORN_CHECK_OUT(Value);
  VORN_CHECK_OUT(ValueType);
  VORN_CHECK_OUT(result);
  *result = VARIANT_FALSE;
  return Boundary([&] {
    // Refused before the key is opened: nothing is written or reloaded.
    if (IsMalformedReference(Value)) Raise(errors::kInvalidProcedureCall);
    *result = WriteThenReload([&](HKEY key) {
      VARIANT* variable = Referenced(Value);
      if (*ValueType == REG_DWORD) {
        if (!IsNumeric(*variable)) return false;
        unique_variant number;
        ThrowIfFailed(::VariantChangeType(&number.ref(), variable, 0, VT_I4));  // out of range: overflow
        LONG data = V_I4(&number.ref());
        LONG status = registry::SetDword(key, *ValueName, data);
        WriteBack(variable, data);
        return status == registry::kSuccess;
      }
      // Every other type code is stored as REG_SZ.
      unique_variant text;
      ThrowIfFailed(::VariantChangeType(&text.ref(), variable, VARIANT_ALPHABOOL, VT_BSTR));
      return registry::SetString(key, *ValueName, V_BSTR(&text.ref())) == registry::kSuccess;
    });
  });
}

HRESULT Values::Delete(BSTR* ValueName, VARIANT_BOOL* result) {
  VORN_CHECK_OUT(ValueName);
  VORN_CHECK_OUT(result);
  *result = VARIANT_FALSE;
  return Boundary([&] {
    *result = WriteThenReload(
        [&](HKEY key) { return registry::DeleteValue(key, *ValueName) == registry::kSuccess; });
  });
}

HRESULT Values::Refresh() {
  return Boundary([&] { RefreshNow(); });
}

HRESULT Values::get_Path(BSTR* result) {
  VORN_CHECK_OUT(result);
  *result = nullptr;
  return Boundary([&] { *result = CopyBstr(path_.get()).release(); });
}

HRESULT Values::put_Path(BSTR* strPath) {
  VORN_CHECK_OUT(strPath);
  return Boundary([&] { path_ = paths::TrimSpaces(*strPath); });
}

HRESULT Values::get_HKEY(LONG* result) {
  VORN_CHECK_OUT(result);
  *result = hkey_;
  return S_OK;
}

HRESULT Values::put_HKEY(LONG* lngHKEY) {
  VORN_CHECK_OUT(lngHKEY);
  hkey_ = *lngHKEY;
  return S_OK;
}

}  // namespace vorn
