// The keyed collection the classes keep their items in: object references in
// the order they were added, each under a string key that matches without
// regard to letter case (the empty string is a valid key). Lookups by
// position and by key take constant time.
//
// Keys are folded to upper case in the invariant locale, as the registry
// compares names. The index is open-addressed: a table of positions, each
// slot compared against the key text of the item at that position, so that a
// key costs no copy of its own when its item keeps it (see KeyOf), or when
// a Source holds the keys and makes the items.
#pragma once

#include <oaidl.h>

#include <cstdint>
#include <string_view>
#include <vector>

#include "automation/ownership.h"

namespace vorn {

class KeyedCollection {
 public:
  // The key an item keeps itself: text that stays the same for as long as
  // the item lives.
  using KeyOf = std::wstring_view (*)(IDispatch* item) noexcept;

  // What a collection made over a source reads: the key of each position
  // (from 0), and its item, which the source may make only when first asked
  // for and then hands out each time, holding it for as long as it lives.
  // The collection holds no reference to the source or its items: the owner
  // keeps the source alive while the collection is.
  class Source {
   public:
    virtual std::wstring_view KeyAt(size_t position) const noexcept = 0;
    virtual IDispatch* ItemAt(size_t position) = 0;

   protected:
    ~Source() = default;
  };

  // A collection whose keys are copied at Add.
  KeyedCollection() noexcept = default;
  // A collection that may also hold items under the key each keeps itself
  // (Add(item)), which it reads wherever it compares keys.
  explicit KeyedCollection(KeyOf key_of) noexcept : key_of_(key_of) {}
  // A collection of the positions that a source holds, added by AddNext.
  explicit KeyedCollection(Source* source) noexcept : source_(source) {}
  KeyedCollection(KeyedCollection&&) noexcept = default;
  KeyedCollection& operator=(KeyedCollection&&) noexcept = default;

  // Appends item under key; a key already present fails with the
  // duplicate-key error and leaves the collection as it was.
  void Add(IDispatch* item, const wchar_t* key, UINT key_length);
  // The same, keeping key itself instead of a copy.
  void Add(IDispatch* item, unique_bstr&& key);
  // The same under key_of(item); only in a collection made with a KeyOf.
  void Add(IDispatch* item);
  // Adds the source's next position, Count(), under its key: a key already
  // present fails with the duplicate-key error and adds nothing. Only in a
  // collection made over a source.
  void AddNext();
  // The same, with the key that the source gives for that position.
  void AddNext(std::wstring_view key);
  // Ends the adding from the source: drops what only speeds up adding, and
  // keeps the index in half the room where the positions fit 16 bits.
  void Seal();

  LONG Count() const noexcept { return static_cast<LONG>(source_ ? sourced_ : items_.size()); }

  // The item at a 1-based position; outside 1..Count: subscript out of range.
  IDispatch* ItemAt(LONG position) const;
  // The item under key; none: invalid procedure call or argument.
  IDispatch* ItemByKey(const wchar_t* key, UINT key_length) const;
  // A number selects by position, a string by key (a numeric text is a
  // key). Index may be passed by reference.
  IDispatch* Item(const VARIANT& index) const;
  // The item under key, or null.
  IDispatch* Find(const wchar_t* key, UINT key_length) const;
  // Whether an item is held under key, without asking a source for it.
  bool Holds(const wchar_t* key, UINT key_length) const;

 private:
  class Folded;

  std::wstring_view KeyAt(size_t position) const noexcept;
  IDispatch* Held(size_t position) const { return source_ ? source_->ItemAt(position) : items_[position].get(); }
  size_t TableSize() const noexcept {
    return !slots_.empty() ? slots_.size() : !narrow_.empty() ? narrow_.size() : sealed_.size();
  }
  // The position + 1 in slot, or 0 for an empty one.
  uint32_t SlotHolds(size_t slot) const noexcept {
    return !slots_.empty() ? static_cast<uint32_t>(slots_[slot]) : !narrow_.empty() ? narrow_[slot] : sealed_[slot];
  }
  // Back to the index that can be added to, after Seal.
  void Unseal() {
    if (!narrow_.empty() || !sealed_.empty()) Rebuild();
  }
  void Rebuild();
  // The slot of key's item (a position + 1), or 0.
  uint32_t Lookup(const wchar_t* key, UINT key_length) const;
  // The slot that holds key, or the empty slot where it would go.
  size_t SlotOf(const Folded& key) const;
  // Appends item under key (kept as copied when that holds a string).
  void Insert(IDispatch* item, std::wstring_view key, unique_bstr copied);
  // Doubles the table and places every position again, by its hash.
  void Grow();

  KeyOf key_of_ = nullptr;
  Source* source_ = nullptr;
  size_t sourced_ = 0;  // the positions added from the source
  std::vector<ComPtr<IDispatch>> items_;
  // The copied keys by position; empty while no key was copied, null where
  // the item keeps its own.
  std::vector<unique_bstr> keys_;
  // The index, in one of three forms; its size is a power of two, at most
  // three quarters filled. While items are added: slots_, each 0 for an
  // empty slot, else a position + 1 in its low half and the hash of that
  // key in its high half, so that the table grows without folding any key
  // again and a probe passes other keys without reading them. Once sealed:
  // the positions + 1 alone, in 16 bits where they all fit (narrow_), else
  // in 32 (sealed_).
  std::vector<uint64_t> slots_;
  std::vector<uint16_t> narrow_;
  std::vector<uint32_t> sealed_;
};

}  // namespace vorn
