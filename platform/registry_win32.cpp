// Binds the registry seam to advapi32's ANSI functions.
#include "platform/registry_api.h"

namespace vorn::registry::api {

LSTATUS OpenKeyExA(HKEY root, LPCSTR sub_key, DWORD options, REGSAM access, PHKEY result) {
  return ::RegOpenKeyExA(root, sub_key, options, access, result);
}
LSTATUS CloseKey(HKEY key) { return ::RegCloseKey(key); }
LSTATUS EnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD name_length, LPDWORD reserved, LPSTR class_name,
                   LPDWORD class_length, PFILETIME last_write) {
  return ::RegEnumKeyExA(key, index, name, name_length, reserved, class_name, class_length, last_write);
}
LSTATUS EnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD name_length, LPDWORD reserved, LPDWORD type,
                   LPBYTE data, LPDWORD data_size) {
  return ::RegEnumValueA(key, index, name, name_length, reserved, type, data, data_size);
}
LSTATUS QueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD data_size) {
  return ::RegQueryValueExA(key, name, reserved, type, data, data_size);
}
LSTATUS SetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD data_size) {
  return ::RegSetValueExA(key, name, reserved, type, data, data_size);
}
LSTATUS DeleteValueA(HKEY key, LPCSTR name) { return ::RegDeleteValueA(key, name); }
LSTATUS CreateKeyA(HKEY key, LPCSTR sub_key, PHKEY result) { return ::RegCreateKeyA(key, sub_key, result); }
LSTATUS DeleteKeyA(HKEY root, LPCSTR sub_key) { return ::RegDeleteKeyA(root, sub_key); }
LSTATUS FlushKey(HKEY key) { return ::RegFlushKey(key); }

}  // namespace vorn::registry::api
