// The sub-key load: its entries, and the key objects made from them.
#include "keys/key_load.h"

#include <climits>
#include <cwchar>

#include "keys/key.h"
#include "automation/errors.h"

namespace vorn {

KeyLoad::KeyLoad(LONG root, REGSAM view, BSTR parent) : root_(root), view_(view), parent_(CopyBstr(parent)) {}

KeyLoad::~KeyLoad() {
  for (Entry& entry : entries_)
    if (entry.made) entry.made->Release();
}

void KeyLoad::Append(const wchar_t* name, UINT length, const wchar_t* item_name, UINT item_length, bool exists) {
  // Room first: nothing below can fail once a text is kept.
  if (entries_.size() == entries_.capacity()) entries_.reserve(2 * entries_.size() + 8);
  const wchar_t* kept = text_.Keep(name, length);
  const wchar_t* item_kept = kept;
  if (item_length != length || std::wmemcmp(item_name, name, length) != 0) {
    try {
      item_kept = text_.Keep(item_name, item_length);
    } catch (...) {
      text_.GiveBack(kept);
      throw;
    }
  }
  entries_.push_back({kept, item_kept, length, item_length, exists, nullptr});
}

void KeyLoad::RemoveLast() noexcept {
  text_.GiveBack(entries_.back().name);  // with the item's name kept after it
  entries_.pop_back();
}

std::wstring_view KeyLoad::KeyAt(size_t position) const noexcept {
  const Entry& entry = entries_[position];
  return std::wstring_view(entry.item_name, entry.item_name_length);
}

IDispatch* KeyLoad::ItemAt(size_t position) {
  Entry& entry = entries_[position];
  if (!entry.made) {
    // The path as the collection assigned it: its own path as at the load,
    // a backslash and the name; the key object normalises it.
    UINT parent_length = ::SysStringLen(parent_.get());
    if (parent_length + 1ull + entry.name_length >= UINT_MAX / sizeof(wchar_t)) Raise(errors::kOutOfMemory);
    unique_bstr path = MakeBstr(nullptr, parent_length + 1 + entry.name_length);  // filled below
    if (parent_length) std::wmemcpy(path.get(), parent_.get(), parent_length);
    path.get()[parent_length] = L'\\';
    if (entry.name_length) std::wmemcpy(path.get() + parent_length + 1, entry.name, entry.name_length);
    ComPtr<Key> key = Key::Create();
    key->SetView(view_);
    key->TakeLoaded(root_, std::move(path), entry.exists);
    entry.made = key.detach();
  }
  return entry.made->Published();
}

}  // namespace vorn
