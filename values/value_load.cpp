// The value load: its records made, handed out, counted and destroyed.
#include "values/value_load.h"

#include <climits>
#include <new>

#include "platform/errors.h"

namespace vorn {

Value& ValueLoad::Append(const wchar_t* name, UINT length, LONG type) {
  if (records_.size() == records_.capacity()) records_.reserve(2 * records_.size() + 16);
  auto* record = new (arena_.Take(Value::SizeWithName(length), alignof(Value))) Value(name, length, this);
  record->SetType(type);
  records_.push_back(record);  // cannot fail: room was made
  return *record;
}

UINT ValueLoad::KeepText(const wchar_t* text, UINT length) {
  size_t at = texts_.size();
  if (at + length >= UINT_MAX) Raise(errors::kOutOfMemory);
  texts_.insert(texts_.end(), text, text + length);
  return static_cast<UINT>(at);
}

void ValueLoad::RemoveLast() noexcept {
  Value* record = records_.back();
  records_.pop_back();
  record->~Value();
  arena_.GiveBack(record);
}

IDispatch* ValueLoad::ItemAt(size_t position) {
  Value& record = At(position);
  record.handed_out_ = true;
  return record.Published();
}

void ValueLoad::Detach() noexcept {
  detached_ = true;
  LONG held = 0;
  for (Value* record : records_)
    if (record->handed_out_ && record->HeldByClient()) ++held;
  if (held == 0) {
    delete this;
    return;
  }
  held_ = held;
}

ValueLoad::~ValueLoad() {
  for (Value* record : records_) record->~Value();
}

}  // namespace vorn
