// Trimming, path normalisation, the last path component, joining paths and
// the "at or below" checks.
#include "registry/paths.h"

#include <climits>
#include <cwchar>
#include <string_view>

#include "automation/errors.h"

namespace vorn::paths {

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
  paths::NormalisedRange(text, ::SysStringLen(text), begin, end);
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

std::wstring Join(const std::wstring& parent, const std::wstring& name) {
  return parent.empty() ? name : name.empty() ? parent : parent + L"\\" + name;
}

std::vector<std::wstring> Components(std::wstring_view path) {
  std::vector<std::wstring> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(L'\\', start);
    if (end == std::wstring_view::npos) end = path.size();
    if (end > start) parts.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::wstring Resolved(std::wstring_view path) {
  std::wstring resolved;
  resolved.reserve(path.size());
  for (const std::wstring& part : Components(path)) {
    if (!resolved.empty()) resolved += L'\\';
    resolved += part;
  }
  return resolved;
}

bool SameName(std::wstring_view a, std::wstring_view b) noexcept {
  return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

namespace {

// The next component of path from at on, empty ones skipped; empty at the end.
std::wstring_view NextComponent(std::wstring_view path, size_t& at) noexcept {
  while (at < path.size() && path[at] == L'\\') ++at;
  size_t start = at;
  while (at < path.size() && path[at] != L'\\') ++at;
  return path.substr(start, at - start);
}

}  // namespace

bool AtOrBelow(std::wstring_view path, std::wstring_view ancestor) {
  size_t p = 0, a = 0;
  for (;;) {
    std::wstring_view want = NextComponent(ancestor, a);
    if (want.empty()) return true;
    if (!SameName(NextComponent(path, p), want)) return false;
  }
}

bool StrictlyBelow(BSTR parent, BSTR child) noexcept {
  UINT parent_length = ::SysStringLen(parent), child_length = ::SysStringLen(child);
  UINT rest = 0;  // where the part below parent begins in child
  if (parent_length > 0) {
    if (child_length <= parent_length + 1) return false;
    for (UINT i = 0; i < parent_length; ++i) {
      if (child[i] != parent[i]) return false;
    }
    if (child[parent_length] != L'\\') return false;
    rest = parent_length + 1;
  }
  for (UINT i = rest; i < child_length; ++i) {
    if (child[i] != L'\\') return true;
  }
  return false;
}

}  // namespace vorn::paths
