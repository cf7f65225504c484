// ValueLoad: what one load of a value collection read, held compactly: the
// records, each with its name right after it, carved out of a few large
// blocks as the registry lists the values, and the strings they hold, one
// after the other in one buffer. A
// record that a client holds keeps the whole load alive; the load ends when
// the collection has let go of it (Detach) and no client holds any of its
// records. Only the records still held at that point are counted, so that
// handing a record out and taking it back costs nothing beyond the record's
// own count.
#pragma once

#include <windows.h>

#include <memory>
#include <string_view>
#include <vector>

#include "support/arena.h"
#include "automation/keyed_collection.h"
#include "values/value.h"

namespace vorn {

class ValueLoad final : public KeyedCollection::Source {
 public:
  struct Detacher {
    void operator()(ValueLoad* load) const noexcept { load->Detach(); }
  };
  using Held = std::unique_ptr<ValueLoad, Detacher>;

  // A new, empty load, held by the returned pointer for its collection.
  static Held Create() { return Held(new ValueLoad()); }
  ValueLoad(const ValueLoad&) = delete;
  ValueLoad& operator=(const ValueLoad&) = delete;

  // A client assigned a field of a record: records may own memory.
  void FieldAssigned() noexcept { assigned_ = true; }
  // After the collection let go: one of the records still held then has
  // been released by its last client.
  bool Detached() const noexcept { return detached_; }
  void Release() noexcept {
    if (::InterlockedDecrement(&held_) == 0) delete this;
  }

  // A new last record under the name listed (copied), with that type code
  // and an Empty value.
  Value& Append(const wchar_t* name, UINT length, LONG type);
  // Takes back the record that Append made last, which no one has seen.
  void RemoveLast() noexcept;
  // Nothing is added any more: the list of records and the strings take no
  // more room than they need.
  void Seal() {
    records_.shrink_to_fit();
    texts_.shrink_to_fit();
    arena_.Trim();
  }
  size_t Count() const noexcept { return records_.size(); }
  // The record at a position counted from 0, below Count().
  Value& At(size_t position) const noexcept { return *records_[position]; }
  // Keeps a copy of a record's string data (no terminator: a record's text
  // has its length) for as long as the load, and says where (Text).
  UINT KeepText(const wchar_t* text, UINT length);
  const wchar_t* Text(UINT at) const noexcept { return texts_.data() + at; }

  // KeyedCollection::Source: each record under its listed name.
  std::wstring_view KeyAt(size_t position) const noexcept override { return At(position).Key(); }
  IDispatch* ItemAt(size_t position) override;

 private:
  ValueLoad() noexcept;  // counted for the module, with all its records
  ~ValueLoad();
  // The collection lets go: the load ends now, or with the last of the
  // records that clients still hold.
  void Detach() noexcept;

  bool detached_ = false;
  bool assigned_ = false;   // see FieldAssigned
  LONG volatile held_ = 0;  // once detached: the records clients still hold
  Arena arena_;
  std::vector<Value*> records_;
  std::vector<wchar_t> texts_;
};

}  // namespace vorn
