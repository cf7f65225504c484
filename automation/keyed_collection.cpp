// The keyed collection: positions, case-insensitive keys and lookups.
#include "automation/keyed_collection.h"

#include <oleauto.h>

#include "automation/errors.h"

namespace vorn {

namespace {

constexpr uint32_t kHashBasis = 2166136261u, kHashPrime = 16777619u;  // FNV-1a
constexpr size_t kFirstSlots = 16;

inline wchar_t UpperAscii(wchar_t c) noexcept { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 32) : c; }

}  // namespace

// A key folded to upper case in the invariant locale, as the registry
// compares names: folding to lower case would merge names the registry keeps
// apart (k and the Kelvin sign, which lower-cases to k), and a collection
// holding both would refuse the second as a duplicate. ASCII text is folded
// here; any other goes to the platform's mapping whole. The mapping maps each
// UTF-16 unit on its own, so the folded key is as long as the key.
class KeyedCollection::Folded {
 public:
  // ASCII text is folded as it is read and never copied; any other is
  // folded into a buffer of its own.
  explicit Folded(std::wstring_view key) : text_(key) {
    for (wchar_t c : key) {
      if (c >= 0x80) {
        FoldWhole();
        return;
      }
      hash_ = (hash_ ^ static_cast<uint32_t>(UpperAscii(c))) * kHashPrime;
    }
  }
  Folded(const Folded&) = delete;
  Folded& operator=(const Folded&) = delete;

  uint32_t Hash() const noexcept { return hash_; }

  // Whether key folds to this text. Units are compared as they are folded,
  // ASCII on the way; the first unit outside ASCII folds the rest whole.
  bool Matches(std::wstring_view key) const {
    if (key.size() != text_.size()) return false;
    for (size_t i = 0; i < key.size(); ++i) {
      wchar_t c = key[i];
      if (c >= 0x80) return Folded(key).SameAs(*this);
      // The same unit folds the same (an ASCII unit equal to a folded one
      // is one that folding leaves as it is).
      if (c != text_[i] && UpperAscii(c) != At(i)) return false;
    }
    return true;
  }

 private:
  void FoldWhole() {
    wchar_t* out = text_.size() <= kInline ? inline_ : (heap_.resize(text_.size()), heap_.data());
    ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text_.data(), static_cast<int>(text_.size()), out,
                    static_cast<int>(text_.size()), nullptr, nullptr, 0);
    text_ = std::wstring_view(out, text_.size());
    ascii_ = false;
    hash_ = kHashBasis;
    for (wchar_t c : text_) hash_ = (hash_ ^ static_cast<uint32_t>(c)) * kHashPrime;
  }
  // The folded unit at i.
  wchar_t At(size_t i) const noexcept { return ascii_ ? UpperAscii(text_[i]) : text_[i]; }
  bool SameAs(const Folded& other) const noexcept {
    if (text_.size() != other.text_.size()) return false;
    for (size_t i = 0; i < text_.size(); ++i)
      if (At(i) != other.At(i)) return false;
    return true;
  }

  static constexpr size_t kInline = 64;
  std::wstring_view text_;  // ASCII as given (ascii_), else folded
  bool ascii_ = true;
  uint32_t hash_ = kHashBasis;
  wchar_t inline_[kInline];
  std::wstring heap_;
};

std::wstring_view KeyedCollection::KeyAt(size_t position) const noexcept {
  if (source_) return source_->KeyAt(position);
  BSTR copied = position < keys_.size() ? keys_[position].get() : nullptr;
  if (copied || !key_of_) return std::wstring_view(copied ? copied : L"", ::SysStringLen(copied));
  return key_of_(items_[position].get());
}

size_t KeyedCollection::SlotOf(const Folded& key) const {
  size_t mask = TableSize() - 1;
  bool hashed = !slots_.empty();
  for (size_t slot = key.Hash() & mask;; slot = (slot + 1) & mask) {
    uint32_t held = SlotHolds(slot);
    if (held == 0) return slot;
    if (hashed && static_cast<uint32_t>(slots_[slot] >> 32) != key.Hash()) continue;
    if (key.Matches(KeyAt(held - 1))) return slot;
  }
}

void KeyedCollection::Grow() {
  std::vector<uint64_t> larger(slots_.empty() ? kFirstSlots : slots_.size() * 2, 0);
  size_t mask = larger.size() - 1;
  for (uint64_t entry : slots_) {
    if (!static_cast<uint32_t>(entry)) continue;
    size_t slot = static_cast<uint32_t>(entry >> 32) & mask;
    while (larger[slot]) slot = (slot + 1) & mask;
    larger[slot] = entry;
  }
  slots_.swap(larger);
}

void KeyedCollection::Seal() {
  if (slots_.empty()) return;
  if (Count() < 0xFFFF) {
    narrow_.resize(slots_.size());
    for (size_t slot = 0; slot < slots_.size(); ++slot) narrow_[slot] = static_cast<uint16_t>(slots_[slot]);
  } else {
    sealed_.resize(slots_.size());
    for (size_t slot = 0; slot < slots_.size(); ++slot) sealed_[slot] = static_cast<uint32_t>(slots_[slot]);
  }
  std::vector<uint64_t>().swap(slots_);
}

void KeyedCollection::Rebuild() {
  std::vector<uint64_t> table(TableSize(), 0);
  size_t mask = table.size() - 1;
  for (size_t position = 0, count = static_cast<size_t>(Count()); position < count; ++position) {
    uint32_t hash = Folded(KeyAt(position)).Hash();
    size_t slot = hash & mask;
    while (table[slot]) slot = (slot + 1) & mask;
    table[slot] = (static_cast<uint64_t>(hash) << 32) | (position + 1);
  }
  slots_.swap(table);
  std::vector<uint16_t>().swap(narrow_);
  std::vector<uint32_t>().swap(sealed_);
}

void KeyedCollection::Insert(IDispatch* item, std::wstring_view key, unique_bstr copied) {
  // Whatever can fail comes before the first change that stays, so that a
  // failed Add leaves the collection as it was (a larger table holds the
  // same keys).
  Folded folded(key);
  Unseal();
  if ((items_.size() + 1) * 4 > slots_.size() * 3) Grow();
  size_t slot = SlotOf(folded);
  if (slots_[slot]) Raise(errors::kDuplicateKey);
  bool keep_copy = copied || !keys_.empty();
  if (keep_copy && keys_.capacity() <= items_.size()) keys_.reserve(items_.size() * 2 + 1);
  items_.emplace_back(item);
  if (keep_copy) {
    keys_.resize(items_.size() - 1);  // null for the items that keep their own
    keys_.push_back(std::move(copied));
  }
  slots_[slot] = (static_cast<uint64_t>(folded.Hash()) << 32) | items_.size();
}

void KeyedCollection::Add(IDispatch* item, const wchar_t* key, UINT key_length) {
  Add(item, MakeBstr(key ? key : L"", key ? key_length : 0));
}

void KeyedCollection::Add(IDispatch* item, unique_bstr&& key) {
  if (source_) throw Error(E_UNEXPECTED, L"The collection takes its items from its source");
  std::wstring_view text(key.get() ? key.get() : L"", ::SysStringLen(key.get()));
  Insert(item, text, std::move(key));
}

void KeyedCollection::AddNext() {
  if (!source_) throw Error(E_UNEXPECTED, L"The collection has no source");
  AddNext(source_->KeyAt(sourced_));
}

void KeyedCollection::AddNext(std::wstring_view key) {
  if (!source_) throw Error(E_UNEXPECTED, L"The collection has no source");
  // As Insert: the table may grow, but a refused key adds no position.
  Folded folded(key);
  Unseal();
  if ((sourced_ + 1) * 4 > slots_.size() * 3) Grow();
  size_t slot = SlotOf(folded);
  if (slots_[slot]) Raise(errors::kDuplicateKey);
  slots_[slot] = (static_cast<uint64_t>(folded.Hash()) << 32) | ++sourced_;
}

void KeyedCollection::Add(IDispatch* item) {
  if (!key_of_) throw Error(E_UNEXPECTED, L"The collection holds no keys kept by its items");
  Insert(item, key_of_(item), unique_bstr());
}

IDispatch* KeyedCollection::ItemAt(LONG position) const {
  if (position < 1 || position > Count()) Raise(errors::kSubscriptOutOfRange);
  return Held(static_cast<size_t>(position) - 1);
}

uint32_t KeyedCollection::Lookup(const wchar_t* key, UINT key_length) const {
  if (Count() == 0) return 0;
  Folded folded(std::wstring_view(key ? key : L"", key ? key_length : 0));
  return SlotHolds(SlotOf(folded));
}

IDispatch* KeyedCollection::Find(const wchar_t* key, UINT key_length) const {
  uint32_t held = Lookup(key, key_length);
  return held ? Held(held - 1) : nullptr;
}

bool KeyedCollection::Holds(const wchar_t* key, UINT key_length) const { return Lookup(key, key_length) != 0; }

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
  if (type == VT_I4) return ItemAt((V_VT(v) & VT_BYREF) ? *V_I4REF(v) : V_I4(v));
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
