// The seam between the library and the operating system's registry: the
// ANSI functions of advapi32 that the library calls, with their own
// signatures. The module binds them to advapi32 (registry_win32.cpp); the unit
// tests link a binding of their own that records calls, counts open handles
// and injects failure statuses. The choice is made at link time, so the
// module carries no state for it.
#pragma once

#include <windows.h>

namespace vorn::registry::api {

LSTATUS OpenKeyExA(HKEY root, LPCSTR sub_key, DWORD options, REGSAM access, PHKEY result);
LSTATUS CloseKey(HKEY key);
LSTATUS EnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD name_length, LPDWORD reserved, LPSTR class_name,
                   LPDWORD class_length, PFILETIME last_write);
LSTATUS EnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD name_length, LPDWORD reserved, LPDWORD type,
                   LPBYTE data, LPDWORD data_size);
LSTATUS QueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD data_size);
LSTATUS SetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD data_size);
LSTATUS DeleteValueA(HKEY key, LPCSTR name);
LSTATUS CreateKeyA(HKEY key, LPCSTR sub_key, PHKEY result);
LSTATUS DeleteKeyA(HKEY root, LPCSTR sub_key);
// Declared for completeness of the binding; the library never flushes.
LSTATUS FlushKey(HKEY key);

}  // namespace vorn::registry::api
