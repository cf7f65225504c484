// The value load: its records made, handed out, counted and destroyed.
#include "values/value_load.h"

#include <climits>
#include <new>

#include "automation/errors.h"
#include "automation/module_count.h"

namespace vorn {

Value& ValueLoad::Append(const wchar_t* name, UINT length, LONG type) {
  if (records_.size() == records_.capacity()) records_.reserve(2 * records_.size() + 16);
  auto* record = new (arena_.Take(Value::SizeWithName(length), alignof(Value))) Value(name, length, *this);
  record->SetType(type);
  records_.push_back(record);  // cannot fail: room was made
  return *record;
}

UINT ValueLoad::KeepText(const wchar_t* text, UINT length) {
  size_t at = texts_.size();
  if (at + length >= UINT_MAX) Raise(errors::kOutOfMemory);
  if (at + length > texts_.capacity()) texts_.reserve(2 * (at + length));
  texts_.resize(at + length);
  wchar_t* kept = texts_.data() + at;
  for (UINT i = 0; i < length; ++i) kept[i] = text[i];  // short: no call
  return static_cast<UINT>(at);
}

void ValueLoad::RemoveLast() noexcept {
  Value* record = records_.back();
  records_.pop_back();
  record->Dispose();
  arena_.GiveBack(record);
}

IDispatch* ValueLoad::ItemAt(size_t position) {
  Value& record = At(position);
  record.lent_ = true;  // the caller adds a reference at once
  return record.Published();
}

void ValueLoad::Detach() noexcept {
  detached_ = true;
  LONG held = 0;
  for (Value* record : records_)
    if (record->lent_ && record->HeldByClient()) ++held;
  if (held == 0) {
    delete this;
    return;
  }
  held_ = held;
}

ValueLoad::ValueLoad() noexcept { module_count::Increment(); }

ValueLoad::~ValueLoad() {
  // Only what a client assigned can be owned by a record.
  if (assigned_)
    for (Value* record : records_) record->Dispose();
  module_count::Decrement();
}

}  // namespace vorn
