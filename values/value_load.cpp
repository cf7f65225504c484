// The value load: its blocks of records and where a position lies in them.
#include "values/value_load.h"

#include <new>

namespace vorn {

namespace {

// Blocks of 8, 16, 32 and 64 records, then of 64 each: a small key takes
// little room, and a large one wastes at most part of one block.
constexpr size_t kFirst = 8, kGrown = 64, kGrowing = 4, kGrownFrom = 120;  // 8 + 16 + 32 + 64

size_t BlockSize(size_t block) noexcept { return block < kGrowing ? kFirst << block : kGrown; }

void Locate(size_t position, size_t& block, size_t& offset) noexcept {
  if (position >= kGrownFrom) {
    block = kGrowing + (position - kGrownFrom) / kGrown;
    offset = (position - kGrownFrom) % kGrown;
    return;
  }
  size_t start = 0;
  for (block = 0; position >= start + BlockSize(block); ++block) start += BlockSize(block);
  offset = position - start;
}

}  // namespace

Value& ValueLoad::At(size_t position) const noexcept {
  size_t block = 0, offset = 0;
  Locate(position, block, offset);
  return blocks_[block][offset];
}

Value& ValueLoad::Append(const wchar_t* name, UINT length, LONG type) {
  size_t block = 0, offset = 0;
  Locate(count_, block, offset);
  if (block == blocks_.size()) {
    blocks_.reserve(blocks_.size() + 1);
    blocks_.push_back(static_cast<Value*>(::operator new(BlockSize(block) * sizeof(Value))));
  }
  const wchar_t* kept = text_.Keep(name, length);
  Value* record = new (blocks_[block] + offset) Value(kept, length, this);
  record->SetType(type);
  ++count_;
  return *record;
}

void ValueLoad::RemoveLast() noexcept {
  Value& record = At(--count_);
  const wchar_t* name = record.ListedName();
  record.~Value();
  text_.Unkeep(name);
}

IDispatch* ValueLoad::ItemAt(size_t position) {
  Value& record = At(position);
  record.handed_out_ = true;
  return record.Published();
}

void ValueLoad::Detach() noexcept {
  detached_ = true;
  LONG held = 0;
  for (size_t position = 0; position < count_; ++position) {
    Value& record = At(position);
    if (record.handed_out_ && record.HeldByClient()) ++held;
  }
  if (held == 0) {
    delete this;
    return;
  }
  held_ = held;
}

ValueLoad::~ValueLoad() {
  for (size_t position = 0; position < count_; ++position) At(position).~Value();
  for (Value* block : blocks_) ::operator delete(block);
}

}  // namespace vorn
