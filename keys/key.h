// clsKey: one registry key, named by a root key handle and a path below it.
// Assigning either refreshes the object at once: Exists is recomputed and
// Values and SubKeys are replaced by new, unfilled collections. These are
// made when first read: a collection that reads nothing until it is used
// cannot tell whether it was made at the refresh or later, and the key
// objects of a sub-key load are mostly never asked for theirs. (Such a key
// object is itself made only when the collection first hands it out, in the
// state its two refreshes at the load left; see TakeLoaded.)
#pragma once

#include <string>
#include <vector>

#include "contract/interfaces.h"
#include "keys/key_watch.h"
#include "registry/key_name.h"
#include "automation/dispatch.h"

namespace vorn {

class Key final : public DispatchObject<Key, _clsKey, guids::IID__clsKey> {
 public:
  // The key object of this library behind obj, or null for any other object.
  static ComPtr<Key> FromObject(IUnknown* obj) noexcept;

  // Library-internal: deletes this key with everything below it, depth first
  // and in post-order. A child that cannot be deleted stops neither its
  // siblings nor the loop, and then the key itself is left in place. True
  // only when the key itself was deleted. Automation errors of the sub-key
  // collection end it early; nothing deleted is restored. It deletes only
  // keys whose paths are exactly the text they were built from: a key whose
  // path lost spaces to trimming refuses at once, and a child that does not
  // lie below this key's own path counts as failed.
  bool DeleteTree();

  bool QueryOther(REFIID riid, void** object) noexcept;

  // Assigns Path (put_Path goes through here), taking over path instead of
  // copying it: the sub-key collection hands over the paths it builds.
  void TakePath(unique_bstr path);
  // Library-internal: the state that assigning root and then path (taken
  // over) would leave, where the sub-key collection's load already made the
  // two opens of those refreshes and found whether the path opened. Nothing
  // is opened again.
  void TakeLoaded(LONG root, unique_bstr path, bool exists);

  // _clsKey
  HRESULT STDMETHODCALLTYPE get_Values(_clsValues** result) override;
  HRESULT STDMETHODCALLTYPE let_Values(_clsValues* value) override;
  HRESULT STDMETHODCALLTYPE putref_Values(_clsValues* value) override;
  HRESULT STDMETHODCALLTYPE get_SubKeys(_clsKeys** result) override;
  HRESULT STDMETHODCALLTYPE let_SubKeys(_clsKeys* value) override;
  HRESULT STDMETHODCALLTYPE putref_SubKeys(_clsKeys* value) override;
  HRESULT STDMETHODCALLTYPE get_Exists(VARIANT_BOOL* result) override;
  HRESULT STDMETHODCALLTYPE get_HKEY(LONG* result) override;
  HRESULT STDMETHODCALLTYPE put_HKEY(LONG* lngHKEY) override;
  HRESULT STDMETHODCALLTYPE get_Path(BSTR* result) override;
  HRESULT STDMETHODCALLTYPE put_Path(BSTR* strPath) override;
  HRESULT STDMETHODCALLTYPE Refresh() override;
  HRESULT STDMETHODCALLTYPE get_Name(BSTR* result) override;

  // Beyond the type library, through IDispatch only: View, the registry view
  // of every open and delete (0, the module's own; 32; 64). Assigning it
  // refreshes, as assigning HKEY or Path does; the collections this object
  // makes carry it. CopyTree(Destination) and Rename(NewName)
  // (trees/copy.h) work in that view and answer True or raise an error.
  // WaitForChange(TimeoutMs [, Subtree]): whether the key changed within the
  // timeout (see KeyWatch); the watch stays armed between calls until HKEY,
  // Path or View is assigned another value. GetSecurity, SetSecurity, Grant,
  // Deny, Revoke, CheckAccess and AccessRules read and change who may touch
  // the key (security/key_security.h). Find(Pattern [, Options]) and
  // FindSkipped (trees/find.h); LastWriteTime, SubKeyCount and ValueCount
  // (keys/key_facts.h), read-only.
  static constexpr ExtraMember kExtraMembers[] = {
      {L"View", VORN_DISPID_VIEW, ExtraMember::kProperty, 0},
      {L"Export", VORN_DISPID_EXPORT, ExtraMember::kMethod, 2, 1},
      {L"Import", VORN_DISPID_IMPORT, ExtraMember::kMethod, 1},
      {L"CopyTree", VORN_DISPID_COPYTREE, ExtraMember::kMethod, 1},
      {L"Rename", VORN_DISPID_RENAME, ExtraMember::kMethod, 1},
      {L"WaitForChange", VORN_DISPID_WAITFORCHANGE, ExtraMember::kMethod, 2, 1},
      {L"GetSecurity", VORN_DISPID_GETSECURITY, ExtraMember::kMethod, 1, 1},
      {L"SetSecurity", VORN_DISPID_SETSECURITY, ExtraMember::kMethod, 1},
      {L"Grant", VORN_DISPID_GRANT, ExtraMember::kMethod, 3, 1},
      {L"Deny", VORN_DISPID_DENY, ExtraMember::kMethod, 3, 1},
      {L"Revoke", VORN_DISPID_REVOKE, ExtraMember::kMethod, 1},
      {L"CheckAccess", VORN_DISPID_CHECKACCESS, ExtraMember::kMethod, 1},
      {L"AccessRules", VORN_DISPID_ACCESSRULES, ExtraMember::kReadOnlyProperty, 0},
      {L"Find", VORN_DISPID_FIND, ExtraMember::kMethod, 2, 1},
      {L"FindSkipped", VORN_DISPID_FINDSKIPPED, ExtraMember::kReadOnlyProperty, 0},
      {L"LastWriteTime", VORN_DISPID_LASTWRITETIME, ExtraMember::kReadOnlyProperty, 0},
      {L"SubKeyCount", VORN_DISPID_SUBKEYCOUNT, ExtraMember::kReadOnlyProperty, 0},
      {L"ValueCount", VORN_DISPID_VALUECOUNT, ExtraMember::kReadOnlyProperty, 0},
  };
  void InvokeExtra(const ExtraMember& member, ExtraCall& call);

  // The view of a key object that a sub-key collection makes, given before
  // its root and path.
  void SetView(REGSAM view) noexcept { view_ = view; }

 private:
  friend class DispatchObject<Key, _clsKey, guids::IID__clsKey>;
  Key();

  // The auto-created collections: filled whenever read while empty, with a
  // new collection, which is configured when a refresh emptied the field
  // and unconfigured otherwise (a new key object, or after a client set it
  // to Nothing).
  _clsValues* Values();
  _clsKeys* SubKeys();
  template <typename Made, typename Interface>
  Interface* Filled(ComPtr<Interface>& field, bool& configure);
  // A client's property set: the object given, or a fresh unconfigured
  // collection at the next read when it is Nothing.
  template <typename Interface>
  HRESULT SetField(ComPtr<Interface>& field, bool& configure, Interface* value);
  void RefreshNow();
  // This key as the operations on a whole key name it.
  registry::KeyName Named() const;
  // CopyTree's destination: a key object, or a path below this key's root
  // in this key's view.
  ComPtr<Key> Destination(const VARIANT& value) const;
  // Assigns a new collection this key's root, then its path.
  template <typename Collection>
  void Configure(Collection* collection);

  ComPtr<_clsValues> values_;
  ComPtr<_clsKeys> sub_keys_;
  bool configure_values_ = false;
  bool configure_sub_keys_ = false;
  LONG hkey_ = 0;
  unique_bstr path_;  // null until Path is assigned: the empty path
  // Whether trimming removed spaces from the text last assigned to Path: the
  // path then names another key than that text spells (for the text p\a
  // with a trailing space, the sibling p\a; for p\ and a space, p itself).
  bool path_lost_spaces_ = false;
  bool exists_ = false;
  REGSAM view_ = 0;  // the registry view: 0 is the module's own
  // The one handle that outlives a member call: WaitForChange's.
  KeyWatch watch_;
  // The keys the last Find could not read (FindSkipped; trees/find.h).
  std::vector<std::wstring> find_skipped_;
};

}  // namespace vorn
