// The seam between the library and the operating system's registry: the
// wide-character functions of advapi32 that the library calls, with their own
// signatures. The module binds them to advapi32 (registry_win32.cpp); the unit
// tests link a binding of their own that records calls, counts open handles
// and injects failure statuses. The choice is made at link time, so the
// module carries no state for it.
#pragma once

#include <windows.h>

namespace vorn::registry::api {

LSTATUS OpenKeyExW(HKEY root, LPCWSTR sub_key, DWORD options, REGSAM access, PHKEY result);
LSTATUS CloseKey(HKEY key);
LSTATUS EnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_length, LPDWORD reserved, LPWSTR class_name,
                   LPDWORD class_length, PFILETIME last_write);
LSTATUS EnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_length, LPDWORD reserved, LPDWORD type,
                   LPBYTE data, LPDWORD data_size);
LSTATUS QueryValueExW(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD data_size);
LSTATUS SetValueExW(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD data_size);
LSTATUS DeleteValueW(HKEY key, LPCWSTR name);
LSTATUS QueryInfoKeyW(HKEY key, LPWSTR class_name, LPDWORD class_length, LPDWORD reserved, LPDWORD sub_keys,
                      LPDWORD max_sub_key_length, LPDWORD max_class_length, LPDWORD values,
                      LPDWORD max_value_name_length, LPDWORD max_value_length, LPDWORD security_descriptor_size,
                      PFILETIME last_write);
LSTATUS CreateKeyW(HKEY key, LPCWSTR sub_key, PHKEY result);
// With an access mask: in a chosen registry view (KEY_WOW64_32KEY or
// KEY_WOW64_64KEY), and for the whole-tree operations, which also ask
// (disposition, when not null) whether the key was created or opened.
LSTATUS CreateKeyExW(HKEY key, LPCWSTR sub_key, REGSAM access, PHKEY result, LPDWORD disposition = nullptr);
// RegNotifyChangeKeyValue: registers for one notification of a change of
// key (and everything below it with subtree), signalled on event.
LSTATUS NotifyChangeKeyValue(HKEY key, BOOL subtree, DWORD filter, HANDLE event, BOOL asynchronous);
// RegRenameKey, which advapi32 does not export everywhere: the binding looks
// it up at run time and answers ERROR_CALL_NOT_IMPLEMENTED where it is
// missing, so that the module still loads there.
LSTATUS RenameKeyW(HKEY key, LPCWSTR sub_key, LPCWSTR new_name);
// Key security: RegGetKeySecurity, which copies the parts info of key's
// security descriptor (self-relative) into descriptor, and SetSecurityInfo
// for a key handle, which sets the parts info (with the PROTECTED_ and
// UNPROTECTED_ flags) from the owner, group and lists given; it returns a
// Win32 status as the registry functions do.
LSTATUS GetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR descriptor, LPDWORD size);
DWORD SetSecurityInfo(HKEY key, SECURITY_INFORMATION info, PSID owner, PSID group, PACL dacl, PACL sacl);
// NtDeleteKey: deletes the key that key is a handle of (opened with DELETE),
// as a Win32 status. Keys are deleted only this way: it is the one way to
// delete a registry link itself, where the functions that take a name follow
// the link and delete its target.
LSTATUS DeleteOpenKey(HKEY key);
// Declared for completeness of the binding; the library never flushes.
LSTATUS FlushKey(HKEY key);

}  // namespace vorn::registry::api
