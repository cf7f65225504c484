// The keyed collection the classes keep their items in: object references in
// the order they were added, each under a string key that matches without
// regard to letter case (the empty string is a valid key). Lookups by
// position and by key take constant time.
#pragma once

#include <oaidl.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "platform/handles.h"

namespace vorn {

class KeyedCollection {
 public:
  // Appends item under key; a key already present fails with the
  // duplicate-key error and leaves the collection as it was.
  void Add(IDispatch* item, const wchar_t* key, UINT key_length);
  void Add(IDispatch* item, BSTR key) { Add(item, key, ::SysStringLen(key)); }

  LONG Count() const noexcept { return static_cast<LONG>(items_.size()); }

  // The item at a 1-based position; outside 1..Count: subscript out of range.
  IDispatch* ItemAt(LONG position) const;
  // The item under key; none: invalid procedure call or argument.
  IDispatch* ItemByKey(const wchar_t* key, UINT key_length) const;
  // A number selects by position, a string by key (a numeric text is a
  // key). Index may be passed by reference.
  IDispatch* Item(const VARIANT& index) const;
  // The item under key, or null.
  IDispatch* Find(const wchar_t* key, UINT key_length) const;

 private:
  static std::wstring Fold(const wchar_t* key, UINT key_length);

  std::vector<ComPtr<IDispatch>> items_;
  std::unordered_map<std::wstring, size_t> positions_;
};

}  // namespace vorn
