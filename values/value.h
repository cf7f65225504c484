// clsValue: one registry value as a plain record of three public fields.
// Records are made only by the value collection's refresh; assigning a field
// changes the record only, never the registry.
#pragma once

#include <string_view>

#include "contract/interfaces.h"
#include "automation/dispatch.h"

namespace vorn {

class ValueLoad;

class Value final : public DispatchObject<Value, clsValue, guids::IID_clsValue> {
 public:
  // A record of its own under the name the registry listed, with type 0 and
  // an Empty value. The name is kept inside the record's own memory, one
  // allocation for both, and is also its key in the value collection
  // (KeyOf): it stays as listed, also after a client assigns Name. The
  // records of a load are laid out the same way in that load (ValueLoad).
  static ComPtr<Value> Create(const wchar_t* name = L"", UINT length = 0);
  static void operator delete(void* memory) noexcept { ::operator delete(memory); }
  // The bytes of a record with a name of length units.
  static size_t SizeWithName(UINT length) noexcept { return sizeof(Value) + (size_t{length} + 1) * sizeof(wchar_t); }

  // The listed name, ending in a zero unit of its own.
  const wchar_t* ListedName() const noexcept { return reinterpret_cast<const wchar_t*>(this + 1); }
  UINT ListedNameLength() const noexcept { return name_length_; }
  std::wstring_view Key() const noexcept { return std::wstring_view(ListedName(), name_length_); }
  static std::wstring_view KeyOf(IDispatch* record) noexcept { return Of(record)->Key(); }
  // The record behind one that this library made.
  static Value* Of(IDispatch* record) noexcept { return static_cast<Value*>(static_cast<clsValue*>(record)); }

  // Used by the value collection while it loads records: the type code, and
  // the data of the two decoded types (a record's value starts Empty).
  void SetType(LONG type) noexcept { type_ = type; }
  LONG Type() const noexcept { return type_; }
  void SetNumber(LONG number) noexcept;
  void SetText(unique_bstr text) noexcept;
  // Text that the record's load holds (ValueLoad::KeepText); a BSTR is made
  // only when a client reads it. Only for a record of a load.
  void SetLoadedText(UINT at, UINT length) noexcept;

  // A record of a load is kept by its load, which holds the count's first
  // reference: the count never drops to 0 through a client. Once the
  // collection has let go of the load, the last client reference to the
  // record lets go of the load in turn.
  ULONG STDMETHODCALLTYPE Release() override;

  // clsValue
  HRESULT STDMETHODCALLTYPE get_Name(BSTR* result) override;
  HRESULT STDMETHODCALLTYPE put_Name(BSTR value) override;
  HRESULT STDMETHODCALLTYPE get_Value(VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE put_Value(VARIANT* value) override;
  HRESULT STDMETHODCALLTYPE putref_Value(VARIANT* value) override;
  HRESULT STDMETHODCALLTYPE get_ValueType(LONG* result) override;
  HRESULT STDMETHODCALLTYPE put_ValueType(LONG value) override;

 private:
  friend class DispatchObject<Value, clsValue, guids::IID_clsValue>;
  friend class ValueLoad;
  // In memory of SizeWithName(length) bytes: the name is copied after it.
  Value(const wchar_t* name, UINT length) noexcept;
  // A record of load, which counts it for the module and ends it with
  // Dispose instead of its destructor.
  Value(const wchar_t* name, UINT length, ValueLoad& load) noexcept;
  // Ends a record of a load: frees what the record owns, all of which
  // ClearValue frees (no member has a destructor of its own to run).
  void Dispose() noexcept { ClearValue(); }
  ~Value() override { ClearValue(); }

  // Whether a client holds the record (of a load): a reference beyond the
  // load's own. Asked only of a record that is lent.
  bool HeldByClient() noexcept;

  // What a client assigned that does not fit in place: a Name, with the
  // value moved here beside it, or a value other than Empty, a 32-bit
  // integer and a string (kind VT_VARIANT).
  struct Assigned {
    unique_bstr name;  // null: the listed name
    unique_variant value;
  };

  // Replaces the value with data, which it takes over.
  void Store(unique_variant data);
  void ClearValue() noexcept;
  // The Assigned of the record, made with the value moved into it.
  Assigned& Assign();

  LONG type_ = 0;  // REG_NONE
  UINT name_length_;
  // The value, held compactly: Empty, a 32-bit integer and a string (the
  // types a refresh decodes) in place, a loaded string where the load keeps
  // it (kind VT_LPWSTR); once a client assigned Name or any other value, in
  // an Assigned of its own (kind VT_VARIANT).
  VARTYPE kind_ = VT_EMPTY;
  // Handed out by the load and not yet back to the load's reference alone:
  // only such a record can be held by a client.
  bool lent_ = false;
  union {
    LONG number_;
    BSTR text_;
    Assigned* assigned_;
    struct {
      UINT at;  // where in the load's texts
      UINT length;
    } loaded_;
  };
  ValueLoad* load_;  // null for a record of its own
  // The listed name follows the object, in the same allocation.
};


}  // namespace vorn
