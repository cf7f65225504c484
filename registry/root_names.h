// The predefined root keys by name: the long names (HKEY_CURRENT_USER) that
// .reg files and error texts use, and the short ones (HKCU) a .reg file may
// also use. The one table of them in the library.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace vorn::registry {

// The root a name spells, long or short, in any letter case; 0 for none.
// Only the roots a .reg file can name: HKEY_CLASSES_ROOT, HKEY_CURRENT_USER,
// HKEY_LOCAL_MACHINE, HKEY_USERS and HKEY_CURRENT_CONFIG.
LONG RootFromName(std::wstring_view name) noexcept;
// The long name of such a root, or null for any other value.
const wchar_t* RootName(LONG root) noexcept;

// A key for an error text: the root's long name (any predefined root, or
// "root 0x8000000A" for a value that names none), then "\" and the path
// unless it is empty.
std::wstring KeyDisplayName(LONG root, std::wstring_view path);

}  // namespace vorn::registry
