// The security members' failures of platform calls: a Win32 status as the
// error number (0x8007xxxx) with the platform's own text for it.
#pragma once

#include <windows.h>

#include <string>

namespace vorn::security {

// "error n: the platform's text" (only "error n" where it has none).
std::wstring StatusText(DWORD status);
// Throws vorn::Error for status, described as "what (error n: text)".
[[noreturn]] void Fail(DWORD status, const std::wstring& what);

}  // namespace vorn::security
