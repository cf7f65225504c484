#include "platform/strings.h"

#include <string>

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
  std::wstring joined;
  joined.append(a ? a : L"", ::SysStringLen(a));
  joined.append(b ? b : L"");
  joined.append(c ? c : L"", ::SysStringLen(c));
  return MakeBstr(joined.data(), static_cast<UINT>(joined.size()));
}

}  // namespace vorn::strings
