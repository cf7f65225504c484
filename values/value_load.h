// ValueLoad: what one load of a value collection read, held compactly: the
// records, made in a few blocks as the registry lists the values, and every
// name and string they hold in one text store. A record that a client holds
// keeps the whole load alive; the load ends when the collection has let go
// of it and no client holds any of its records.
#pragma once

#include <windows.h>

#include <memory>
#include <string_view>
#include <vector>

#include "platform/keyed_collection.h"
#include "platform/text_store.h"
#include "values/value.h"

namespace vorn {

class ValueLoad final : public KeyedCollection::Source {
 public:
  struct Releaser {
    void operator()(ValueLoad* load) const noexcept { load->Release(); }
  };
  using Held = std::unique_ptr<ValueLoad, Releaser>;

  // A new, empty load, held once by the returned pointer.
  static Held Create() { return Held(new ValueLoad()); }
  ValueLoad(const ValueLoad&) = delete;
  ValueLoad& operator=(const ValueLoad&) = delete;

  void AddRef() noexcept { ::InterlockedIncrement(&references_); }
  void Release() noexcept {
    if (::InterlockedDecrement(&references_) == 0) delete this;
  }

  // A new last record under the name listed (copied), with that type code
  // and an Empty value.
  Value& Append(const wchar_t* name, UINT length, LONG type);
  // Takes back the record that Append made last, which no one has seen.
  void RemoveLast() noexcept;
  size_t Count() const noexcept { return count_; }
  // The record at a position counted from 0, below Count().
  Value& At(size_t position) const noexcept;
  // A copy of a record's string data, held as long as the load.
  const wchar_t* Keep(const wchar_t* text, UINT length) { return text_.Keep(text, length); }

  // KeyedCollection::Source: each record under its listed name.
  std::wstring_view KeyAt(size_t position) const noexcept override { return At(position).Key(); }
  IDispatch* ItemAt(size_t position) override { return At(position).Published(); }

 private:
  ValueLoad() = default;
  ~ValueLoad();

  LONG volatile references_ = 1;
  TextStore text_;
  std::vector<Value*> blocks_;  // uninitialised room for records, made in order
  size_t count_ = 0;
};

}  // namespace vorn
