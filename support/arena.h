// Arena: many small pieces of memory (objects, texts) carved in order out of
// a few blocks, each piece staying where it was put for as long as the arena
// lives. A load keeps its records, names and strings here: one allocation
// per block instead of one per piece. Pieces are never freed one by one,
// except the last one taken; whoever puts an object here destroys it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace vorn {

class Arena {
 public:
  Arena() noexcept = default;
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;

  // Room for bytes, aligned for any object of the library (by default) or
  // to the given power of two.
  void* Take(size_t bytes, size_t alignment = kAlignment) {
    size_t padding = (0 - reinterpret_cast<uintptr_t>(next_)) & (alignment - 1);
    if (padding + bytes > left_) return TakeNewBlock(bytes);
    void* piece = next_ + padding;
    next_ += padding + bytes;
    left_ -= padding + bytes;
    return piece;
  }
  // A copy of length units of text followed by a zero unit of its own, or
  // without one when terminate is false.
  const wchar_t* Keep(const wchar_t* text, size_t length, bool terminate = true);
  // Gives back everything from piece, which Take or Keep returned, onwards:
  // nothing may use it any more.
  void GiveBack(const void* piece) noexcept;
  // Nothing more is taken: the last block gives back the room it has left.
  void Trim() noexcept;

  static constexpr size_t kAlignment = alignof(void*) > alignof(double) ? alignof(void*) : alignof(double);

 private:

  // Take, from a new block (whose start suits any alignment).
  void* TakeNewBlock(size_t bytes);

  struct Free {
    void operator()(char* block) const noexcept;
  };
  std::vector<std::unique_ptr<char[], Free>> blocks_;
  char* next_ = nullptr;  // free space in the last block
  size_t left_ = 0;       // bytes free there
  size_t block_ = 512;    // bytes in the next block
};

}  // namespace vorn
