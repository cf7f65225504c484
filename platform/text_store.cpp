// The text store: blocks that grow with the store, texts copied into them.
#include "platform/text_store.h"

#include <algorithm>
#include <cwchar>

namespace vorn {

namespace {
// Blocks double from the first size up to the largest, so that a small load
// takes little and a large one wastes at most part of one block.
constexpr size_t kLargestBlock = 16384;  // units
}  // namespace

const wchar_t* TextStore::Keep(const wchar_t* text, size_t length, bool terminate) {
  size_t units = length + (terminate ? 1 : 0);
  if (units > left_) {
    size_t size = std::max(block_, units);  // a text longer than a block has one of its own
    block_ = std::min(2 * block_, kLargestBlock);
    blocks_.reserve(blocks_.size() + 1);  // so that the new block cannot be lost
    blocks_.emplace_back(new wchar_t[size]);
    next_ = blocks_.back().get();
    left_ = size;
  }
  wchar_t* copy = next_;
  if (length) std::wmemcpy(copy, text, length);
  if (terminate) copy[length] = L'\0';
  next_ += units;
  left_ -= units;
  return copy;
}

void TextStore::Unkeep(const wchar_t* copy) noexcept {
  size_t given = static_cast<size_t>(next_ - copy);
  next_ -= given;
  left_ += given;
}

}  // namespace vorn
