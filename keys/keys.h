// clsKeys: the direct sub-keys of one key as a keyed collection of clsKey
// objects. Loads lazily at the first Count, Item or KeyExists, and again at
// Refresh; Add and Delete act on the registry at once and leave the items as
// they are.
#pragma once

#include <memory>

#include "contract/interfaces.h"
#include "automation/dispatch.h"
#include "keys/key_load.h"
#include "automation/keyed_collection.h"

namespace vorn {

class Key;

class Keys final : public DispatchObject<Keys, _clsKeys, guids::IID__clsKeys> {
 public:
  // _clsKeys
  HRESULT STDMETHODCALLTYPE get_KeyExists(BSTR* KeyName, VARIANT_BOOL* result) override;
  HRESULT STDMETHODCALLTYPE get_Count(LONG* result) override;
  HRESULT STDMETHODCALLTYPE get_Item(VARIANT* Index, _clsKey** result) override;
  HRESULT STDMETHODCALLTYPE get_HKEY(LONG* result) override;
  HRESULT STDMETHODCALLTYPE put_HKEY(LONG* lngHKEY) override;
  HRESULT STDMETHODCALLTYPE get_Path(BSTR* result) override;
  HRESULT STDMETHODCALLTYPE put_Path(BSTR* strPath) override;
  HRESULT STDMETHODCALLTYPE Refresh() override;
  HRESULT STDMETHODCALLTYPE Add(BSTR* KeyName, VARIANT_BOOL* result) override;
  HRESULT STDMETHODCALLTYPE Delete(BSTR* KeyName, VARIANT_BOOL* result) override;

  // Beyond the type library, through IDispatch only: View, the registry view
  // of every open, create and delete (0, the module's own; 32; 64), which
  // the key objects it makes carry. Takes effect at the next load, as HKEY
  // and Path do; Add and Delete use it at once.
  static constexpr ExtraMember kExtraMembers[] = {
      {L"View", VORN_DISPID_VIEW, ExtraMember::kProperty, 0},
  };
  void InvokeExtra(const ExtraMember& member, ExtraCall& call);

  // The view a key object gives the collection it makes.
  void SetView(REGSAM view) noexcept { view_ = view; }

 private:
  friend class DispatchObject<Keys, _clsKeys, guids::IID__clsKeys>;
  Keys();

  KeyedCollection& Items();  // auto-created, over an empty load
  void EnsureLoaded();
  // What a walk (For Each) sees: the items, loaded as Count loads them.
  const KeyedCollection& Walked() { EnsureLoaded(); return Items(); }
  void RefreshNow();
  // A new key object for parent path + "\" + name (normalised by the key
  // object), with this collection's root.
  ComPtr<Key> ChildKey(BSTR name);

  LONG hkey_ = 0;                          // mlngHKEY
  unique_bstr path_;                       // mstrPath, normalised
  std::unique_ptr<KeyLoad> load_;          // the sub-keys of the last load
  std::unique_ptr<KeyedCollection> keys_;  // mcolKeys: load_'s items by position and name
  bool refreshed_ = false;                 // mbolRefreshed
  REGSAM view_ = 0;                        // the registry view: 0 is the module's own
};

}  // namespace vorn
