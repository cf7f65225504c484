// Conversion between automation strings (UTF-16) and the 8-bit text of the
// system code page in which strings cross the registry's ANSI functions.
#pragma once

#include <string>

#include "platform/handles.h"

namespace vorn::ansi {

// Converts text to the system code page. Returns false, leaving out
// unspecified, when the code page cannot represent the text exactly (the
// conversion would substitute or best-fit a character), so that no caller
// ever names a different key or value than the one it was given.
bool FromWide(const wchar_t* text, UINT length, std::string& out);
inline bool FromBstr(BSTR text, std::string& out) { return FromWide(text, ::SysStringLen(text), out); }

// Converts length bytes of 8-bit text (zero bytes included) to a BSTR.
unique_bstr ToBstr(const char* text, size_t length);

}  // namespace vorn::ansi
