// Pattern: the text Find looks for, with the wildcards * (any run of
// characters) and ? (one character), matched against a name or a string
// without any registry.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vorn::trees {

class Pattern {
 public:
  // whole: the pattern must match the whole text; otherwise it may match
  // any part of it, as if it began and ended with *. exact_case: letters
  // match only in the same case; otherwise case is ignored as the registry
  // ignores it in names, beyond ASCII too (the platform's upper-casing, one
  // UTF-16 unit at a time). A surrogate pair is one character for ?.
  Pattern(std::wstring_view pattern, bool whole, bool exact_case);

  bool Matches(const wchar_t* text, size_t length);
  bool Matches(std::wstring_view text) { return Matches(text.data(), text.size()); }

 private:
  std::wstring pattern_;          // folded unless exact_case, with runs of * made one
  bool fold_;
  std::vector<wchar_t> folded_;   // the text folded, reused from match to match
};

// Upper-cases length units of text in place as the platform does for
// case-insensitive names.
void FoldCase(wchar_t* text, size_t length) noexcept;

}  // namespace vorn::trees
