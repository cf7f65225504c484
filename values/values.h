// clsValues: the values of one registry key as a keyed collection of clsValue
// records. Loads lazily at the first Count, Item or ValueExists, and again at
// Refresh and after its own Add and Delete; assigning HKEY or Path reads
// nothing.
#pragma once

#include <memory>

#include "contract/interfaces.h"
#include "automation/dispatch.h"
#include "automation/keyed_collection.h"
#include "values/value_load.h"

namespace vorn {

class Values final : public DispatchObject<Values, _clsValues, guids::IID__clsValues> {
 public:
  // _clsValues
  HRESULT STDMETHODCALLTYPE get_ValueExists(BSTR* ValueName, VARIANT_BOOL* result) override;
  HRESULT STDMETHODCALLTYPE get_Item(VARIANT* Index, clsValue** result) override;
  HRESULT STDMETHODCALLTYPE get_Count(LONG* result) override;
  HRESULT STDMETHODCALLTYPE Add(BSTR* ValueName, VARIANT* Value, LONG* ValueType, VARIANT_BOOL* result) override;
  HRESULT STDMETHODCALLTYPE Delete(BSTR* ValueName, VARIANT_BOOL* result) override;
  HRESULT STDMETHODCALLTYPE get_Path(BSTR* result) override;
  HRESULT STDMETHODCALLTYPE put_Path(BSTR* strPath) override;
  HRESULT STDMETHODCALLTYPE get_HKEY(LONG* result) override;
  HRESULT STDMETHODCALLTYPE put_HKEY(LONG* lngHKEY) override;
  HRESULT STDMETHODCALLTYPE Refresh() override;

  // Beyond the type library, through IDispatch only:
  // - GetValue(ValueName): that value's data, read from the registry now (the
  //   records are neither loaded nor reloaded), decoded whatever its type; a
  //   missing key or value is an error;
  // - SetValue(ValueName, Value, ValueType): writes the value with exactly
  //   that type and reloads, as Add does; a value that the type cannot hold
  //   is refused before anything is written;
  // - View: the registry view of every open (0, 32 or 64); takes effect at
  //   the next load, as HKEY and Path do.
  static constexpr ExtraMember kExtraMembers[] = {
      {L"GetValue", VORN_DISPID_GETVALUE, ExtraMember::kMethod, 1},
      {L"SetValue", VORN_DISPID_SETVALUE, ExtraMember::kMethod, 3},
      {L"View", VORN_DISPID_VIEW, ExtraMember::kProperty, 0},
  };
  void InvokeExtra(const ExtraMember& member, ExtraCall& call);

  // The view a key object gives the collection it makes.
  void SetView(REGSAM view) noexcept { view_ = view; }

 private:
  friend class DispatchObject<Values, _clsValues, guids::IID__clsValues>;
  Values();

  KeyedCollection& Records();  // auto-created, over an empty load
  void EnsureLoaded();
  // What a walk (For Each) sees: the items, loaded as Count loads them.
  const KeyedCollection& Walked() { EnsureLoaded(); return Records(); }
  // Replaces the records with the key's values as the registry lists them
  // now. An error part-way leaves the records loaded so far in place.
  void RefreshNow();
  // Opens the key for writing and calls write(handle), which reports
  // whether the registry took the change. Once the key could be opened, it
  // is closed and the records are reloaded, whatever write reported; an
  // error thrown by write ends the member without a reload. VARIANT_TRUE
  // only when the key opened and write succeeded.
  template <typename Write>
  VARIANT_BOOL WriteThenReload(Write&& write);
  unique_variant GetValue(BSTR name);
  VARIANT_BOOL SetValue(BSTR name, const VARIANT& value, DWORD type);

  ValueLoad::Held load_;                     // the records of the last load
  std::unique_ptr<KeyedCollection> values_;  // mcolValues: load_'s records by position and name
  LONG hkey_ = 0;                            // mlngHKEY
  unique_bstr path_;                         // mstrPath, spaces trimmed
  bool refreshed_ = false;                   // mbolRefreshed
  REGSAM view_ = 0;                          // the registry view: 0 is the module's own
};

}  // namespace vorn
