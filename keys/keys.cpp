// clsKeys: the sub-key collection's load (names and Exists; each key object is
// made when first handed out), its lookups, Add and the tree-wide Delete.
#include "keys/keys.h"


#include "keys/key.h"
#include "automation/arguments.h"
#include "registry/service.h"
#include "registry/view.h"
#include "registry/paths.h"

namespace vorn {

Keys::Keys() : path_(MakeBstr(L"")) {}

KeyedCollection& Keys::Items() {
  if (!keys_) {
    load_ = std::make_unique<KeyLoad>(hkey_, view_, path_.get());
    keys_ = std::make_unique<KeyedCollection>(load_.get());
  }
  return *keys_;
}

void Keys::EnsureLoaded() {
  if (!refreshed_) RefreshNow();
}

ComPtr<Key> Keys::ChildKey(BSTR name) {
  // Two refreshes of the new key object, each opening one key: it never
  // descends further into the tree.
  ComPtr<Key> child = Key::Create();
  child->SetView(view_);
  LONG root = hkey_;
  ThrowIfFailed(child->put_HKEY(&root));
  child->TakePath(paths::Concat(path_.get(), L"\\", name));
  return child;
}

void Keys::RefreshNow() {
  refreshed_ = true;  // first: a refresh that fails part way is not repeated
  keys_.reset();      // before the load it reads
  load_.reset();
  Items();
  KeyLoad& load = *load_;
  KeyedCollection& items = *keys_;

  unique_hkey parent;  // closed on every way out, errors included
  if (registry::OpenKey(hkey_, path_.get(), registry::kRead | view_, parent) != registry::kSuccess) return;
  registry::SubKeyReader reader(parent.get());
  // The path each item's key object is assigned: this collection's path, a
  // backslash and the sub-key's name.
  std::wstring path(path_.get() ? path_.get() : L"", ::SysStringLen(path_.get()));
  path += L'\\';
  const size_t name_at = path.size();
  for (registry::IndexWalk walk;; walk.Next()) {
    LONG status = reader.Read(walk.Index());
    // Ends once the key is gone (deleted while it is read); any other
    // failure is of this index alone and skips it.
    if (walk.Ends(status)) break;
    if (status != registry::kSuccess) continue;

    // What the item's key object would do when assigned its root and then
    // its path: one open at each refresh, the root (its path still empty)
    // and the normalised path, each closed at once. Only the second one's
    // outcome stays (as Exists); the object is made when first handed out.
    const wchar_t* name = reader.NameUnits();
    UINT length = reader.NameLength();
    path.resize(name_at);
    path.append(name, length);
    {
      unique_hkey root;
      registry::OpenKey(hkey_, static_cast<BSTR>(nullptr), registry::kRead | view_, root);
    }
    UINT begin = 0, end = 0;
    paths::NormalisedRange(path.data(), static_cast<UINT>(path.size()), begin, end);
    bool exists = false;
    {
      wchar_t after = path[end];  // the path ends in a zero unit while it is opened
      path[end] = L'\0';
      unique_hkey child;
      exists = registry::OpenKey(hkey_, path.data() + begin, end - begin, registry::kRead | view_, child) ==
               registry::kSuccess;
      path[end] = after;
    }
    // Held under its key object's Name: the last component of that path,
    // for every ordinary sub-key its name.
    UINT start = begin + paths::LastComponentStart(path.data() + begin, end - begin);
    load.Append(name, length, path.data() + start, end - start, exists);
    try {
      items.AddNext();
    } catch (...) {
      load.RemoveLast();  // a Name held already: the item is not kept
      throw;
    }
  }
  items.Seal();
  load.Seal();
}

void Keys::InvokeExtra(const ExtraMember& member, ExtraCall& call) {
  if (member.id == VORN_DISPID_VIEW) registry::ServeView(call, view_);
}

HRESULT Keys::get_KeyExists(BSTR* KeyName, VARIANT_BOOL* result) {
  VORN_CHECK_OUT(KeyName);
  VORN_CHECK_OUT(result);
  *result = VARIANT_FALSE;
  return Boundary([&] {
    EnsureLoaded();  // an error of this load reaches the caller
    try {
      // By name only, also when the text is a number.
      // Each item is held under its Name, which reading it again would only
      // confirm: the item is not made for this.
      unique_bstr name = paths::TrimSpaces(*KeyName);
      if (Items().Holds(name.get(), ::SysStringLen(name.get()))) *result = VARIANT_TRUE;
    } catch (...) {
      *result = VARIANT_FALSE;
    }
  });
}

HRESULT Keys::get_Count(LONG* result) {
  VORN_CHECK_OUT(result);
  *result = 0;
  return Boundary([&] {
    EnsureLoaded();
    *result = Items().Count();
  });
}

HRESULT Keys::get_Item(VARIANT* Index, _clsKey** result) {
  VORN_CHECK_OUT(Index);
  VORN_CHECK_OUT(result);
  *result = nullptr;
  return Boundary([&] {
    EnsureLoaded();
    IDispatch* item = Items().Item(*Index);
    ThrowIfFailed(item->QueryInterface(guids::IID__clsKey, reinterpret_cast<void**>(result)));
  });
}

HRESULT Keys::Refresh() {
  return Boundary([&] { RefreshNow(); });
}

HRESULT Keys::Add(BSTR* KeyName, VARIANT_BOOL* result) {
  VORN_CHECK_OUT(KeyName);
  VORN_CHECK_OUT(result);
  *result = VARIANT_FALSE;
  return Boundary([&] {
    unique_hkey parent;
    if (registry::OpenKey(hkey_, path_.get(), registry::kWrite | view_, parent) != registry::kSuccess) return;
    // The name exactly as given: a path creates every missing key along it,
    // and an existing key is opened and counts as success. Declared after
    // the parent, so that it is closed first.
    unique_hkey created;
    if (registry::CreateKey(parent.get(), *KeyName, created, view_) == registry::kSuccess) *result = VARIANT_TRUE;
  });
}

HRESULT Keys::Delete(BSTR* KeyName, VARIANT_BOOL* result) {
  VORN_CHECK_OUT(KeyName);
  VORN_CHECK_OUT(result);
  *result = VARIANT_FALSE;
  return Boundary([&] {
    ComPtr<Key> child = ChildKey(*KeyName);

    // The key object normalises the whole path. A name that adds no
    // component (empty, spaces, backslashes) would leave it standing for
    // this collection's own parent, or the root: never delete that.
    unique_bstr child_path;
    ThrowIfFailed(child->get_Path(child_path.put()));
    if (!paths::StrictlyBelow(path_.get(), child_path.get())) return;

    // A name ending in spaces loses them to that normalisation and would
    // stand for another key ("a " for a sibling "a"): DeleteTree refuses it.
    VARIANT_BOOL exists = VARIANT_FALSE;
    ThrowIfFailed(child->get_Exists(&exists));
    if (exists != VARIANT_TRUE) return;
    *result = child->DeleteTree() ? VARIANT_TRUE : VARIANT_FALSE;
  });
}

HRESULT Keys::get_Path(BSTR* result) {
  VORN_CHECK_OUT(result);
  *result = nullptr;
  return Boundary([&] { *result = CopyBstr(path_.get()).release(); });
}

HRESULT Keys::put_Path(BSTR* strPath) {
  VORN_CHECK_OUT(strPath);
  return Boundary([&] { path_ = paths::NormaliseKeyPath(*strPath); });
}

HRESULT Keys::get_HKEY(LONG* result) {
  VORN_CHECK_OUT(result);
  *result = hkey_;
  return S_OK;
}

HRESULT Keys::put_HKEY(LONG* lngHKEY) {
  VORN_CHECK_OUT(lngHKEY);
  hkey_ = *lngHKEY;
  return S_OK;
}

}  // namespace vorn
