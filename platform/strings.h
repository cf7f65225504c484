// The string functions the classes share: trimming and path normalisation.
#pragma once

#include "platform/handles.h"

namespace vorn::strings {

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

}  // namespace vorn::strings
