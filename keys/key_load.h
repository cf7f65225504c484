// KeyLoad: what one load of a sub-key collection read, held compactly: each
// sub-key's name as listed, the Name its key object answers (its key in the
// collection) and whether its path opened. The key object of a sub-key is
// made when it is first handed out, in the state its two refreshes at the
// load left, and then held and handed out each time.
#pragma once

#include <windows.h>

#include <string_view>
#include <vector>

#include "automation/ownership.h"
#include "automation/keyed_collection.h"
#include "support/arena.h"

namespace vorn {

class Key;

class KeyLoad final : public KeyedCollection::Source {
 public:
  // A load below parent (copied) of root, in view.
  KeyLoad(LONG root, REGSAM view, BSTR parent);
  KeyLoad(const KeyLoad&) = delete;
  KeyLoad& operator=(const KeyLoad&) = delete;
  ~KeyLoad();

  // A new last sub-key: its name as listed, its key object's Name, and
  // whether its path opened (the key object's Exists); the texts are copied.
  void Append(const wchar_t* name, UINT length, const wchar_t* item_name, UINT item_length, bool exists);
  // Takes back the sub-key that Append added last, which no one has seen.
  void RemoveLast() noexcept;
  // Nothing is added any more: the load takes no more room than it needs.
  void Seal() {
    entries_.shrink_to_fit();
    text_.Trim();
  }

  // KeyedCollection::Source: each sub-key under its key object's Name, and
  // the key object, made at the first call.
  std::wstring_view KeyAt(size_t position) const noexcept override;
  IDispatch* ItemAt(size_t position) override;

 private:
  struct Entry {
    const wchar_t* name;
    const wchar_t* item_name;  // name itself when the two agree
    UINT name_length;
    UINT item_name_length;
    bool exists;
    Key* made;  // one reference, or null until handed out
  };

  LONG root_;
  REGSAM view_;
  unique_bstr parent_;
  Arena text_;
  std::vector<Entry> entries_;
};

}  // namespace vorn
