// Trimming, path normalisation, the last path component and joining paths.
#include "platform/strings.h"

#include <climits>
#include <cwchar>

#include "platform/errors.h"

namespace vorn::strings {

namespace {

// Where text is left without its spaces at either end: [begin, end).
void TrimmedRange(const wchar_t* text, UINT length, UINT& begin, UINT& end) noexcept {
  begin = 0, end = length;
  while (begin < end && text[begin] == L' ') ++begin;
  while (end > begin && text[end - 1] == L' ') --end;
}

void TrimmedRange(BSTR text, UINT& begin, UINT& end) noexcept {
  TrimmedRange(text, ::SysStringLen(text), begin, end);
}

void NormalisedRange(BSTR text, UINT& begin, UINT& end) noexcept {
  strings::NormalisedRange(text, ::SysStringLen(text), begin, end);
}

}  // namespace

void NormalisedRange(const wchar_t* text, UINT length, UINT& begin, UINT& end) noexcept {
  TrimmedRange(text, length, begin, end);
  if (end > begin && text[end - 1] == L'\\') --end;
  if (end > begin && text[begin] == L'\\') ++begin;
}

UINT LastComponentStart(const wchar_t* path, UINT length) noexcept {
  UINT start = length;
  while (start > 0 && path[start - 1] != L'\\') --start;
  return start;
}

unique_bstr TrimSpaces(BSTR text) {
  UINT begin = 0, end = 0;
  TrimmedRange(text, begin, end);
  return MakeBstr(end > begin ? text + begin : L"", end - begin);
}

unique_bstr NormaliseKeyPath(BSTR text) {
  UINT begin = 0, end = 0;
  NormalisedRange(text, begin, end);
  return MakeBstr(end > begin ? text + begin : L"", end - begin);
}

unique_bstr NormaliseKeyPath(unique_bstr text) {
  UINT begin = 0, end = 0;
  NormalisedRange(text.get(), begin, end);
  if (begin == 0 && end == ::SysStringLen(text.get())) return text;
  return MakeBstr(end > begin ? text.get() + begin : L"", end - begin);
}

unique_bstr LastComponent(BSTR path) {
  UINT length = ::SysStringLen(path);
  UINT start = LastComponentStart(path, length);
  return MakeBstr(length ? path + start : L"", length - start);
}

unique_bstr Concat(BSTR a, const wchar_t* b, BSTR c) {
  size_t la = ::SysStringLen(a), lb = b ? std::wcslen(b) : 0, lc = ::SysStringLen(c);
  if (la + lb + lc >= UINT_MAX / sizeof(wchar_t)) Raise(errors::kOutOfMemory);
  unique_bstr joined = MakeBstr(nullptr, static_cast<UINT>(la + lb + lc));  // filled below
  wchar_t* out = joined.get();
  if (la) std::wmemcpy(out, a, la);
  if (lb) std::wmemcpy(out + la, b, lb);
  if (lc) std::wmemcpy(out + la + lb, c, lc);
  return joined;
}

}  // namespace vorn::strings
