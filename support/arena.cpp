// The arena: blocks that grow with it, pieces carved out of them in order.
#include "support/arena.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <new>

namespace vorn {

namespace {
// Blocks double up to this size, so that a small load takes little and a
// large one wastes at most part of one block.
constexpr size_t kLargestBlock = 8192;  // bytes
}  // namespace

void* Arena::TakeNewBlock(size_t bytes) {
  size_t size = std::max(block_, bytes);  // a piece larger than a block has one of its own
  blocks_.reserve(blocks_.size() + 1);    // so that the new block cannot be lost
  void* block = ::HeapAlloc(::GetProcessHeap(), 0, size);
  if (!block) throw std::bad_alloc();
  blocks_.emplace_back(static_cast<char*>(block));
  block_ = std::min(2 * block_, kLargestBlock);
  next_ = blocks_.back().get() + bytes;
  left_ = size - bytes;
  return blocks_.back().get();
}

const wchar_t* Arena::Keep(const wchar_t* text, size_t length, bool terminate) {
  auto* copy = static_cast<wchar_t*>(Take((length + (terminate ? 1 : 0)) * sizeof(wchar_t), alignof(wchar_t)));
  if (length) std::wmemcpy(copy, text, length);
  if (terminate) copy[length] = L'\0';
  return copy;
}

void Arena::Free::operator()(char* block) const noexcept { ::HeapFree(::GetProcessHeap(), 0, block); }

void Arena::Trim() noexcept {
  if (blocks_.empty() || left_ == 0) return;
  char* last = blocks_.back().get();
  size_t used = static_cast<size_t>(next_ - last);
  // In place only: the pieces in the block must stay where they are. A
  // block that cannot shrink so keeps its room.
  if (used && ::HeapReAlloc(::GetProcessHeap(), HEAP_REALLOC_IN_PLACE_ONLY, last, used)) left_ = 0;
}

void Arena::GiveBack(const void* piece) noexcept {
  size_t given = static_cast<size_t>(next_ - static_cast<const char*>(piece));
  next_ -= given;
  left_ += given;
}

}  // namespace vorn
