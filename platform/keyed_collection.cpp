#include "platform/keyed_collection.h"

#include <oleauto.h>

#include "platform/errors.h"

namespace vorn {

std::wstring KeyedCollection::Fold(const wchar_t* key, UINT key_length) {
  std::wstring folded(key ? key : L"", key ? key_length : 0);
  // Folded to upper case, as the registry compares names, and in the
  // invariant locale: folding to lower case would merge names the registry
  // keeps apart (k and the Kelvin sign, which lower-cases to k), and a
  // collection holding both would refuse the second as a duplicate.
  if (!folded.empty())
    ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, folded.data(), static_cast<int>(folded.size()),
                    folded.data(), static_cast<int>(folded.size()), nullptr, nullptr, 0);
  return folded;
}

void KeyedCollection::Add(IDispatch* item, const wchar_t* key, UINT key_length) {
  // The vector grows geometrically (amortised constant time per Add). The
  // key goes in first; should the append then fail, the key is taken out
  // again, so that a failed Add leaves the collection as it was.
  auto [entry, inserted] = positions_.try_emplace(Fold(key, key_length), items_.size());
  if (!inserted) Raise(errors::kDuplicateKey);
  try {
    items_.emplace_back(item);
  } catch (...) {
    positions_.erase(entry);
    throw;
  }
}

IDispatch* KeyedCollection::ItemAt(LONG position) const {
  if (position < 1 || static_cast<size_t>(position) > items_.size()) Raise(errors::kSubscriptOutOfRange);
  return items_[static_cast<size_t>(position) - 1].get();
}

IDispatch* KeyedCollection::Find(const wchar_t* key, UINT key_length) const {
  auto found = positions_.find(Fold(key, key_length));
  return found == positions_.end() ? nullptr : items_[found->second].get();
}

IDispatch* KeyedCollection::ItemByKey(const wchar_t* key, UINT key_length) const {
  IDispatch* item = Find(key, key_length);
  if (!item) Raise(errors::kInvalidProcedureCall);
  return item;
}

IDispatch* KeyedCollection::Item(const VARIANT& index) const {
  // A reference through a null pointer comes only from a malformed call.
  if (IsMalformedReference(&index)) Raise(errors::kInvalidProcedureCall);
  const VARIANT* v = Referenced(&index);

  VARTYPE type = V_VT(v) & ~VT_BYREF;
  if (type == VT_BSTR) {
    BSTR key = (V_VT(v) & VT_BYREF) ? *V_BSTRREF(v) : V_BSTR(v);
    return ItemByKey(key, ::SysStringLen(key));
  }
  switch (type) {
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_I8: case VT_UI8:
    case VT_INT: case VT_UINT: case VT_R4: case VT_R8: case VT_CY: case VT_DECIMAL: case VT_BOOL:
    case VT_DATE: case VT_DISPATCH: {
      // Numbers round to a position; an object is asked for its default value.
      unique_variant converted;
      HRESULT hr = ::VariantChangeType(&converted.ref(), const_cast<VARIANT*>(v), 0, VT_I4);
      if (type == VT_DISPATCH && FAILED(hr)) {
        hr = ::VariantChangeType(&converted.ref(), const_cast<VARIANT*>(v), 0, VT_BSTR);
        ThrowIfFailed(hr);
        return Item(converted.ref());
      }
      ThrowIfFailed(hr);
      return ItemAt(V_I4(&converted.ref()));
    }
    default:
      Raise(errors::kInvalidProcedureCall);
  }
}

}  // namespace vorn
