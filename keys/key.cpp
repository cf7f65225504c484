// clsKey: the key object's refresh, its auto-created collections, the tree
// delete, and the members beyond the type library.
#include "keys/key.h"

#include <vector>

#include "keys/key_facts.h"
#include "keys/keys.h"
#include "security/key_security.h"
#include "trees/copy.h"
#include "trees/export.h"
#include "trees/find.h"
#include "trees/import.h"
#include "trees/rename.h"
#include "automation/arguments.h"
#include "registry/service.h"
#include "registry/view.h"
#include "registry/paths.h"
#include "values/values.h"

namespace vorn {

namespace {

std::wstring FileName(const VARIANT& value) {
  unique_bstr text = arguments::Text(value, L"The file name");
  return std::wstring(text.get() ? text.get() : L"", ::SysStringLen(text.get()));
}

[[noreturn]] void RefuseObjectLet() {
  throw Error(E_NOTIMPL, L"An object property is assigned with Set, not Let");
}

}  // namespace

Key::Key() = default;

ComPtr<Key> Key::FromObject(IUnknown* obj) noexcept {
  ComPtr<_clsKey> key;
  if (!obj || FAILED(obj->QueryInterface(guids::IID_VornKeyObject, key.put_void())) || !key) return {};
  // Only Key answers IID_VornKeyObject, with its _clsKey base.
  return ComPtr<Key>::adopt(static_cast<Key*>(key.detach()));
}

bool Key::QueryOther(REFIID riid, void** object) noexcept {
  if (!IsEqualIID(riid, guids::IID_VornKeyObject)) return false;
  *object = Published();
  return true;
}

template <typename Made, typename Interface>
Interface* Key::Filled(ComPtr<Interface>& field, bool& configure) {
  if (!field) {
    ComPtr<Made> made = Made::Create();
    made->SetView(view_);
    if (configure) Configure(made->Published());
    field = std::move(made);
    configure = false;
  }
  return field.get();
}

_clsValues* Key::Values() { return Filled<vorn::Values>(values_, configure_values_); }
_clsKeys* Key::SubKeys() { return Filled<Keys>(sub_keys_, configure_sub_keys_); }

void Key::RefreshNow() {
  {
    unique_hkey key;
    exists_ = registry::OpenKey(hkey_, path_.get(), registry::kRead | view_, key) == registry::kSuccess;
  }  // closed here

  // New collections with this key's root and path, made at their first read.
  values_.reset();
  sub_keys_.reset();
  configure_values_ = configure_sub_keys_ = true;
}

template <typename Collection>
void Key::Configure(Collection* collection) {
  // The collection gets copies: the by-reference parameters are its to
  // read, and this object's fields stay its own.
  LONG root = hkey_;
  unique_bstr path = CopyBstr(path_.get());
  ThrowIfFailed(collection->put_HKEY(&root));
  ThrowIfFailed(collection->put_Path(&path.ref()));
}

bool Key::DeleteTree() {
  // Depth first in post-order, as a recursion through each level's sub-key
  // collection would go, but with the levels kept here: a tree can be
  // thousands of keys deep under Wine, too deep for the stack.
  struct Level {
    ComPtr<Key> key;
    registry::KeyToDelete self;  // the key opened as itself, deleted by this handle
    ComPtr<_clsKeys> children;
    LONGLONG count = 0, next = 1;
    bool result = true;
  };
  std::vector<Level> levels;
  // Opens key as itself and loads its sub-keys as the next level. A
  // registry link is deleted at once, itself: by its name, every call would
  // reach the key it points at, outside this tree. False when the key
  // cannot be deleted: its path lost spaces to trimming, it cannot be
  // opened, or it is a link whose delete failed.
  auto enter = [&](ComPtr<Key> key) {
    if (key->path_lost_spaces_) return false;
    Level level;
    if (registry::OpenToDelete(key->hkey_, key->path_.get(), key->view_, level.self) != registry::kSuccess)
      return false;
    if (level.self.link) return registry::DeleteOpened(level.self) == registry::kSuccess;
    level.children = ComPtr<_clsKeys>(key->SubKeys());
    level.key = std::move(key);
    LONG count = 0;
    ThrowIfFailed(level.children->get_Count(&count));
    level.count = count;
    levels.push_back(std::move(level));
    return true;
  };
  if (!enter(ComPtr<Key>(this))) return false;
  if (levels.empty()) return true;  // a link, deleted
  for (;;) {
    Level& top = levels.back();
    if (top.next <= top.count) {
      unique_variant position;
      V_VT(&position.ref()) = VT_I4;
      V_I4(&position.ref()) = static_cast<LONG>(top.next++);
      ComPtr<_clsKey> item;
      ThrowIfFailed(top.children->get_Item(&position.ref(), item.put()));
      ComPtr<Key> child = FromObject(item.get());
      if (!child) Raise(errors::kTypeMismatch);
      // The sub-key collection trims its own copy of this key's path, so
      // when that copy differs (this path begins with a space) it lists the
      // children of another key: their paths do not lie below this one. A
      // sub-key whose name ends in spaces has a path that lost them (it
      // names a sibling, or this key itself); it refuses at once. Both
      // count as failed children, and this key then stays.
      if (!paths::StrictlyBelow(top.key->path_.get(), child->path_.get()) || !enter(std::move(child)))
        top.result = false;
      continue;
    }
    // Every child tried: a failed one stops neither its siblings nor the
    // loop, and then the key itself is left in place.
    const bool deleted = top.result && registry::DeleteOpened(top.self) == registry::kSuccess;
    // The key objects below the first are the collections' own, seen by
    // nobody else: each lets go of its collection once done, or the chain
    // of objects down the tree would be released in one nested call per
    // level when the first lets go.
    if (levels.size() > 1) top.key->sub_keys_.reset();
    levels.pop_back();
    if (levels.empty()) return deleted;
    if (!deleted) levels.back().result = false;
  }
}

registry::KeyName Key::Named() const {
  return {hkey_, std::wstring(path_.get() ? path_.get() : L"", ::SysStringLen(path_.get())), view_, path_lost_spaces_};
}

ComPtr<Key> Key::Destination(const VARIANT& value) const {
  VARTYPE type = V_VT(&value) & ~VT_BYREF;
  if (type == VT_DISPATCH || type == VT_UNKNOWN) {
    IUnknown* object = V_VT(&value) & VT_BYREF ? *V_UNKNOWNREF(&value) : V_UNKNOWN(&value);
    if (!object) throw Error(errors::kObjectRequired, L"Destination is Nothing: it must be a key object or a path");
    ComPtr<Key> key = FromObject(object);
    if (!key) throw Error(errors::kTypeMismatch, L"Destination must be a key object of this library or a path");
    return key;
  }
  ComPtr<Key> key = Create();
  key->hkey_ = hkey_;
  key->view_ = view_;
  key->TakePath(arguments::Text(value, L"Destination"));
  return key;
}

void Key::InvokeExtra(const ExtraMember& member, ExtraCall& call) {
  switch (member.id) {
    case VORN_DISPID_VIEW: {
      const REGSAM before = view_;
      registry::ServeView(call, view_);
      if (!call.put) break;
      if (view_ != before) watch_.Disarm();
      RefreshNow();
      break;
    }
    case VORN_DISPID_EXPORT:
      ExportKey(Named(), FileName(*call.arguments[0]),
                call.arguments[1] && arguments::Boolean(*call.arguments[1], L"Overwrite"));
      call.result = BoolVariant(true);
      break;
    case VORN_DISPID_IMPORT:
      ImportFile(Named(), FileName(*call.arguments[0]));
      RefreshNow();
      call.result = BoolVariant(true);
      break;
    case VORN_DISPID_WAITFORCHANGE: {
      // Calls from other apartments are served during the wait; this keeps
      // the object alive should one of them drop the last other reference.
      ComPtr<Key> alive(this);
      const ULONGLONG timeout = KeyWatch::Timeout(*call.arguments[0]);
      const bool subtree = call.arguments[1] && arguments::Boolean(*call.arguments[1], L"Subtree");
      const bool changed = watch_.Wait(hkey_, path_.get(), view_, subtree, timeout);
      call.result = BoolVariant(changed);
      break;
    }
    case VORN_DISPID_COPYTREE: {
      ComPtr<Key> destination = Destination(*call.arguments[0]);
      try {
        trees::CopyTree(Named(), destination->Named());
      } catch (...) {
        RefreshNow();
        throw;
      }
      RefreshNow();
      destination->RefreshNow();
      call.result = BoolVariant(true);
      break;
    }
    case VORN_DISPID_FIND:
      call.result = trees::Find(Named(), *call.arguments[0], call.arguments[1], find_skipped_);
      break;
    case VORN_DISPID_FINDSKIPPED: call.result = trees::PathArray(find_skipped_); break;
    case VORN_DISPID_LASTWRITETIME:
    case VORN_DISPID_SUBKEYCOUNT:
    case VORN_DISPID_VALUECOUNT: call.result = key_facts::Read(member.id, hkey_, path_.get(), view_); break;
    case VORN_DISPID_RENAME: {
      unique_bstr name = arguments::Text(*call.arguments[0], L"NewName");
      std::wstring path = trees::Rename(Named(), std::wstring(name.get(), ::SysStringLen(name.get())));
      TakePath(MakeBstr(path.c_str(), static_cast<UINT>(path.size())));
      call.result = BoolVariant(true);
      break;
    }
    case VORN_DISPID_GETSECURITY:
    case VORN_DISPID_SETSECURITY:
    case VORN_DISPID_GRANT:
    case VORN_DISPID_DENY:
    case VORN_DISPID_REVOKE:
    case VORN_DISPID_CHECKACCESS:
    case VORN_DISPID_ACCESSRULES: security::ServeKeyMember(Named(), member, call); break;
    default: break;
  }
}

HRESULT Key::get_Values(_clsValues** result) {
  VORN_CHECK_OUT(result);
  *result = nullptr;
  return Boundary([&] { *result = ComPtr<_clsValues>(Values()).detach(); });
}

// The let accessors of the object fields are not described in the type
// library and nothing calls them; they refuse, saying why.
HRESULT Key::let_Values(_clsValues*) { return Boundary(RefuseObjectLet); }
HRESULT Key::let_SubKeys(_clsKeys*) { return Boundary(RefuseObjectLet); }

template <typename Interface>
HRESULT Key::SetField(ComPtr<Interface>& field, bool& configure, Interface* value) {
  return Boundary([&] {
    field = ComPtr<Interface>(value);
    configure = false;
  });
}

HRESULT Key::putref_Values(_clsValues* value) { return SetField(values_, configure_values_, value); }

HRESULT Key::get_SubKeys(_clsKeys** result) {
  VORN_CHECK_OUT(result);
  *result = nullptr;
  return Boundary([&] { *result = ComPtr<_clsKeys>(SubKeys()).detach(); });
}

HRESULT Key::putref_SubKeys(_clsKeys* value) { return SetField(sub_keys_, configure_sub_keys_, value); }

HRESULT Key::get_Exists(VARIANT_BOOL* result) {
  VORN_CHECK_OUT(result);
  *result = exists_ ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT Key::get_HKEY(LONG* result) {
  VORN_CHECK_OUT(result);
  *result = hkey_;
  return S_OK;
}

HRESULT Key::put_HKEY(LONG* lngHKEY) {
  VORN_CHECK_OUT(lngHKEY);
  return Boundary([&] {
    if (*lngHKEY != hkey_) watch_.Disarm();
    hkey_ = *lngHKEY;
    RefreshNow();
  });
}

HRESULT Key::get_Path(BSTR* result) {
  VORN_CHECK_OUT(result);
  *result = nullptr;
  return Boundary([&] { *result = CopyBstr(path_.get()).release(); });
}

namespace {

bool LosesSpaces(BSTR path) noexcept {
  UINT length = ::SysStringLen(path);
  return length > 0 && (path[0] == L' ' || path[length - 1] == L' ');
}

}  // namespace

HRESULT Key::put_Path(BSTR* strPath) {
  VORN_CHECK_OUT(strPath);
  return Boundary([&] { TakePath(CopyBstr(*strPath)); });
}

void Key::TakePath(unique_bstr path) {
  path_lost_spaces_ = LosesSpaces(path.get());
  unique_bstr normal = paths::NormaliseKeyPath(std::move(path));
  if (!SameText(normal.get(), path_.get())) watch_.Disarm();
  path_ = std::move(normal);
  RefreshNow();
}

void Key::TakeLoaded(LONG root, unique_bstr path, bool exists) {
  hkey_ = root;
  path_lost_spaces_ = LosesSpaces(path.get());
  path_ = paths::NormaliseKeyPath(std::move(path));
  exists_ = exists;
  values_.reset();
  sub_keys_.reset();
  configure_values_ = configure_sub_keys_ = true;
}

HRESULT Key::Refresh() {
  return Boundary([&] { RefreshNow(); });
}

HRESULT Key::get_Name(BSTR* result) {
  VORN_CHECK_OUT(result);
  *result = nullptr;
  return Boundary([&] { *result = paths::LastComponent(path_.get()).release(); });
}

}  // namespace vorn
