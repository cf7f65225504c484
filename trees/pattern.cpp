// Pattern: case folding through the platform and a wildcard match that
// backs up only to the last star, so that no pattern takes more than
// (pattern length x text length) steps.
#include "trees/pattern.h"

#include <windows.h>

namespace vorn::trees {

namespace {

bool HighSurrogate(wchar_t c) noexcept { return c >= 0xD800 && c <= 0xDBFF; }
bool LowSurrogate(wchar_t c) noexcept { return c >= 0xDC00 && c <= 0xDFFF; }

// The units the character at i takes: two for a surrogate pair, else one.
size_t CharacterAt(const wchar_t* text, size_t i, size_t length) noexcept {
  return i + 1 < length && HighSurrogate(text[i]) && LowSurrogate(text[i + 1]) ? 2 : 1;
}

}  // namespace

void FoldCase(wchar_t* text, size_t length) noexcept {
  // ASCII, most names and data, without a call; the rest through the
  // platform, a run of units at a time. Surrogates are left as they are:
  // the registry compares letters beyond the BMP exactly, while the
  // platform's upper-casing may change them.
  bool ascii = true;
  for (size_t i = 0; i < length; ++i) {
    wchar_t c = text[i];
    if (c >= 0x80) ascii = false;
    else if (c >= L'a' && c <= L'z') text[i] = static_cast<wchar_t>(c - (L'a' - L'A'));
  }
  for (size_t start = 0; !ascii && start < length;) {
    size_t end = start;
    while (end < length && end - start < 0x40000000 && !HighSurrogate(text[end]) && !LowSurrogate(text[end])) ++end;
    if (end > start) ::CharUpperBuffW(text + start, static_cast<DWORD>(end - start));
    start = end == start ? end + 1 : end;
  }
}

Pattern::Pattern(std::wstring_view pattern, bool whole, bool exact_case) : fold_(!exact_case) {
  if (!whole) pattern_ += L'*';
  for (wchar_t c : pattern)
    if (c != L'*' || pattern_.empty() || pattern_.back() != L'*') pattern_ += c;
  if (!whole && pattern_.back() != L'*') pattern_ += L'*';
  if (fold_) FoldCase(pattern_.data(), pattern_.size());
}

bool Pattern::Matches(const wchar_t* text, size_t length) {
  if (fold_) {
    if (folded_.size() < length) folded_.resize(length);
    std::copy(text, text + length, folded_.begin());
    FoldCase(folded_.data(), length);
    text = folded_.data();
  }
  const wchar_t* p = pattern_.data();
  const size_t pn = pattern_.size();
  size_t pi = 0, ti = 0;
  size_t star = std::wstring::npos, resume = 0;  // after the last star, and where its run ends
  while (ti < length) {
    if (pi < pn && p[pi] == L'*') {
      star = ++pi;
      resume = ti;
    } else if (pi < pn && p[pi] == L'?') {
      ++pi;
      ti += CharacterAt(text, ti, length);
    } else if (pi < pn && p[pi] == text[ti]) {
      ++pi;
      ++ti;
    } else if (star != std::wstring::npos) {
      // The last star takes one more character; the rest of the pattern
      // is tried again from there.
      resume += CharacterAt(text, resume, length);
      ti = resume;
      pi = star;
    } else {
      return false;
    }
  }
  while (pi < pn && p[pi] == L'*') ++pi;
  return pi == pn;
}

}  // namespace vorn::trees
