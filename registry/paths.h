// The path rules, each in one place: trimming, the key path normalisation,
// the last component, joining, whole components, and whether one path lies
// at or below another.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "automation/ownership.h"

namespace vorn::paths {

// text without U+0020 spaces at either end; tabs and other white space stay.
unique_bstr TrimSpaces(BSTR text);

// The key path normalisation of the key object and the sub-key collection:
// spaces trimmed at both ends, then one trailing backslash dropped, then one
// leading backslash dropped. No second trimming follows.
unique_bstr NormaliseKeyPath(BSTR text);
// The same, handing text itself back when nothing is removed.
unique_bstr NormaliseKeyPath(unique_bstr text);

// The text after the last backslash of path, or the whole path when it has
// none.
unique_bstr LastComponent(BSTR path);

// Where text, of length units, is left after the key path normalisation:
// the units [begin, end).
void NormalisedRange(const wchar_t* text, UINT length, UINT& begin, UINT& end) noexcept;
// Where the last component of path, of length units, begins.
UINT LastComponentStart(const wchar_t* path, UINT length) noexcept;

// a + b + c as one new string.
unique_bstr Concat(BSTR a, const wchar_t* b, BSTR c);

// parent + "\" + name, either of which may be empty.
std::wstring Join(const std::wstring& parent, const std::wstring& name);

// The path's components; empty ones (doubled backslashes) are left out.
std::vector<std::wstring> Components(std::wstring_view path);

// path as the registry resolves it: its components joined by single
// backslashes, without the empty ones (of doubled, leading or trailing
// backslashes), which the registry skips.
std::wstring Resolved(std::wstring_view path);

// Names compared as the registry compares them: letter case ignored, beyond
// ASCII too.
bool SameName(std::wstring_view a, std::wstring_view b) noexcept;

// Whether path is ancestor itself or lies below it, by whole components and
// ignoring letter case; the empty path is the ancestor of every path. Empty
// components count as none (a\\b lies below a\b).
bool AtOrBelow(std::wstring_view path, std::wstring_view ancestor);

// True when child, a normalised key path, names a key strictly below parent:
// parent's path and a backslash (nothing at all when parent is the root
// itself), then at least one character other than a backslash. The registry
// skips empty components, so parent followed by nothing but backslashes
// opens the parent itself. Compared by exact text: a path built from another
// spelling of the parent (one that lost a leading space to trimming, say) is
// not below it.
bool StrictlyBelow(BSTR parent, BSTR child) noexcept;

}  // namespace vorn::paths
