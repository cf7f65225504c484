// Registry access rights as scripts write them: words (Read, Write,
// FullControl and the single rights), joined by commas, or a number, the
// access mask; and the mask written back as such words.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>
#include <string_view>

namespace vorn::security {

// The mask that text names: words in any letter case, joined by commas
// (spaces around them are ignored), or numbers (decimal, or hexadecimal
// after 0x or &H) for bits without a name. An unknown word, an empty item
// or no right at all is refused with error 5 naming it.
ACCESS_MASK ParseRights(std::wstring_view text);
// A Rights argument: text as ParseRights takes it, or a number, the access
// mask (a 32-bit pattern: -2147483648 is 0x80000000). Zero is refused.
ACCESS_MASK Rights(const VARIANT& value);
// The mask as words, the largest named sets first ("FullControl";
// "Read, SetValue"), then the single rights, then the bits without a name
// as one hexadecimal number ("0x80000000"). ParseRights reads it back.
std::wstring RightsText(ACCESS_MASK mask);

}  // namespace vorn::security
