// TextStore: many short texts copied into a few large blocks, each staying
// where it was put for as long as the store lives. A load keeps every name
// and string it read here: one allocation per block instead of one per text.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace vorn {

class TextStore {
 public:
  TextStore() noexcept = default;
  TextStore(const TextStore&) = delete;
  TextStore& operator=(const TextStore&) = delete;

  // A copy of length units of text followed by a zero unit of its own, or
  // without one when terminate is false.
  const wchar_t* Keep(const wchar_t* text, size_t length, bool terminate = true);
  // Gives back the space of the copy that Keep returned last (copy), which
  // nothing may use any more.
  void Unkeep(const wchar_t* copy) noexcept;

 private:
  std::vector<std::unique_ptr<wchar_t[]>> blocks_;
  wchar_t* next_ = nullptr;  // free space in the last block
  size_t left_ = 0;          // units free there
  size_t block_ = 256;       // units in the next block
};

}  // namespace vorn
