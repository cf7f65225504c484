#include "support/registry_recording.h"

#include "platform/registry_api.h"

vorn::test::Recorder& vorn::test::Recorder::Get() {
  static Recorder recorder;
  return recorder;
}

namespace vorn::registry::api {

using test::Call;
using test::Fn;

// Runs the real call unless the fault rule answers first, records it, and
// counts the handle when `opens` and the call succeeded.
template <typename Real>
static LSTATUS Through(Call call, Real&& real, bool opens = false) {
  test::Recorder& r = test::Recorder::Get();
  std::optional<LONG> injected = r.fault ? r.fault(call) : std::nullopt;
  call.status = injected ? *injected : real();
  r.calls.push_back(call);
  if (opens && call.status == ERROR_SUCCESS) ++r.open_handles;
  return call.status;
}

LSTATUS OpenKeyExA(HKEY root, LPCSTR sub_key, DWORD options, REGSAM access, PHKEY result) {
  Call c(Fn::OpenKeyEx, sub_key);
  c.access = access;
  return Through(c, [&] { return ::RegOpenKeyExA(root, sub_key, options, access, result); }, true);
}

LSTATUS CloseKey(HKEY key) {
  --test::Recorder::Get().open_handles;
  return Through(Call(Fn::CloseKey), [&] { return ::RegCloseKey(key); });
}

LSTATUS EnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD name_length, LPDWORD reserved, LPSTR class_name,
                   LPDWORD class_length, PFILETIME last_write) {
  return Through(Call(Fn::EnumKeyEx, nullptr, index), [&] {
    return ::RegEnumKeyExA(key, index, name, name_length, reserved, class_name, class_length, last_write);
  });
}

LSTATUS EnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD name_length, LPDWORD reserved, LPDWORD type,
                   LPBYTE data, LPDWORD data_size) {
  return Through(Call(Fn::EnumValue, nullptr, index),
                 [&] { return ::RegEnumValueA(key, index, name, name_length, reserved, type, data, data_size); });
}

LSTATUS QueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD data_size) {
  return Through(Call(Fn::QueryValueEx, name),
                 [&] { return ::RegQueryValueExA(key, name, reserved, type, data, data_size); });
}

LSTATUS SetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD data_size) {
  Call c(Fn::SetValueEx, name);
  c.type = type;
  if (data) c.data.assign(reinterpret_cast<const char*>(data), data_size);
  return Through(c, [&] { return ::RegSetValueExA(key, name, reserved, type, data, data_size); });
}

LSTATUS DeleteValueA(HKEY key, LPCSTR name) {
  return Through(Call(Fn::DeleteValue, name), [&] { return ::RegDeleteValueA(key, name); });
}

LSTATUS CreateKeyA(HKEY key, LPCSTR sub_key, PHKEY result) {
  return Through(Call(Fn::CreateKey, sub_key), [&] { return ::RegCreateKeyA(key, sub_key, result); }, true);
}

LSTATUS DeleteKeyA(HKEY root, LPCSTR sub_key) {
  return Through(Call(Fn::DeleteKey, sub_key), [&] { return ::RegDeleteKeyA(root, sub_key); });
}

LSTATUS FlushKey(HKEY key) { return ::RegFlushKey(key); }

}  // namespace vorn::registry::api
