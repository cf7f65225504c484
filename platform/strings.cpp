#include "platform/strings.h"

#include <climits>
#include <cwchar>

#include "platform/errors.h"

namespace vorn::strings {

unique_bstr TrimSpaces(BSTR text) {
  UINT length = ::SysStringLen(text);
  UINT begin = 0, end = length;
  while (begin < end && text[begin] == L' ') ++begin;
  while (end > begin && text[end - 1] == L' ') --end;
  return MakeBstr(length ? text + begin : L"", end - begin);
}

unique_bstr NormaliseKeyPath(BSTR text) {
  unique_bstr trimmed = TrimSpaces(text);
  const wchar_t* p = trimmed.get();
  UINT begin = 0, end = ::SysStringLen(trimmed.get());
  if (end > begin && p[end - 1] == L'\\') --end;
  if (end > begin && p[begin] == L'\\') ++begin;
  if (begin == 0 && end == ::SysStringLen(trimmed.get())) return trimmed;
  return MakeBstr(p + begin, end - begin);
}

unique_bstr LastComponent(BSTR path) {
  UINT length = ::SysStringLen(path);
  UINT start = length;
  while (start > 0 && path[start - 1] != L'\\') --start;
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
