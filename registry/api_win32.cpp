// Binds the registry seam to advapi32's wide-character functions.
#include "registry/api.h"

#include "registry/nt_delete.h"
#include "support/wine.h"

#include <aclapi.h>

namespace vorn::registry::api {

LSTATUS OpenKeyExW(HKEY root, LPCWSTR sub_key, DWORD options, REGSAM access, PHKEY result) {
  return ::RegOpenKeyExW(root, sub_key, options, access, result);
}
LSTATUS CloseKey(HKEY key) { return ::RegCloseKey(key); }
LSTATUS EnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_length, LPDWORD reserved, LPWSTR class_name,
                   LPDWORD class_length, PFILETIME last_write) {
  return ::RegEnumKeyExW(key, index, name, name_length, reserved, class_name, class_length, last_write);
}
LSTATUS EnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_length, LPDWORD reserved, LPDWORD type,
                   LPBYTE data, LPDWORD data_size) {
  return ::RegEnumValueW(key, index, name, name_length, reserved, type, data, data_size);
}
LSTATUS QueryValueExW(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD data_size) {
  return ::RegQueryValueExW(key, name, reserved, type, data, data_size);
}
LSTATUS SetValueExW(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD data_size) {
  return ::RegSetValueExW(key, name, reserved, type, data, data_size);
}
LSTATUS DeleteValueW(HKEY key, LPCWSTR name) { return ::RegDeleteValueW(key, name); }
LSTATUS QueryInfoKeyW(HKEY key, LPWSTR class_name, LPDWORD class_length, LPDWORD reserved, LPDWORD sub_keys,
                      LPDWORD max_sub_key_length, LPDWORD max_class_length, LPDWORD values,
                      LPDWORD max_value_name_length, LPDWORD max_value_length, LPDWORD security_descriptor_size,
                      PFILETIME last_write) {
  return ::RegQueryInfoKeyW(key, class_name, class_length, reserved, sub_keys, max_sub_key_length, max_class_length,
                            values, max_value_name_length, max_value_length, security_descriptor_size, last_write);
}
LSTATUS CreateKeyW(HKEY key, LPCWSTR sub_key, PHKEY result) { return ::RegCreateKeyW(key, sub_key, result); }
LSTATUS CreateKeyExW(HKEY key, LPCWSTR sub_key, REGSAM access, PHKEY result, LPDWORD disposition) {
  return ::RegCreateKeyExW(key, sub_key, 0, nullptr, 0, access, nullptr, result, disposition);
}
LSTATUS NotifyChangeKeyValue(HKEY key, BOOL subtree, DWORD filter, HANDLE event, BOOL asynchronous) {
  return ::RegNotifyChangeKeyValue(key, subtree, filter, event, asynchronous);
}
LSTATUS GetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR descriptor, LPDWORD size) {
  return ::RegGetKeySecurity(key, info, descriptor, size);
}
DWORD SetSecurityInfo(HKEY key, SECURITY_INFORMATION info, PSID owner, PSID group, PACL dacl, PACL sacl) {
  return ::SetSecurityInfo(key, SE_REGISTRY_KEY, info, owner, group, dacl, sacl);
}
LSTATUS FlushKey(HKEY key) { return ::RegFlushKey(key); }

LSTATUS DeleteOpenKey(HKEY key) { return DeleteByHandle(key); }

LSTATUS RenameKeyW(HKEY key, LPCWSTR sub_key, LPCWSTR new_name) {
  using Rename = LSTATUS(WINAPI*)(HKEY, LPCWSTR, LPCWSTR);
  // Looked up once; advapi32 is loaded already, as the module imports it.
  static const Rename rename = []() -> Rename {
    // Wine's RegRenameKey (seen in Wine 8) can store the renamed key in the
    // place of its next sibling when its new name sorts just there: that
    // sibling and its tree drop out of the registry, the renamed key is
    // listed twice, and wineserver later fails. Under Wine the function
    // counts as missing, so that keys are copied and then deleted instead.
    if (UnderWine()) return nullptr;
    HMODULE advapi = ::GetModuleHandleW(L"advapi32.dll");
    FARPROC found = advapi ? ::GetProcAddress(advapi, "RegRenameKey") : nullptr;
    return reinterpret_cast<Rename>(reinterpret_cast<void (*)()>(found));
  }();
  return rename ? rename(key, sub_key, new_name) : ERROR_CALL_NOT_IMPLEMENTED;
}

}  // namespace vorn::registry::api
