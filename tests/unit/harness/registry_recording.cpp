// The unit tests' recording binding of the registry seam.
#include "harness/registry_recording.h"

#include "registry/api.h"
#include "registry/nt_delete.h"
#include "support/wine.h"

#include <aclapi.h>

#include <map>

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

// The name each open handle was opened by, for the calls that take only a handle.
static std::map<HKEY, std::wstring>& NamesOfHandles() {
  static std::map<HKEY, std::wstring> names;
  return names;
}

LSTATUS OpenKeyExW(HKEY root, LPCWSTR sub_key, DWORD options, REGSAM access, PHKEY result) {
  Call c(Fn::OpenKeyEx, sub_key);
  c.access = access;
  LSTATUS status = Through(c, [&] { return ::RegOpenKeyExW(root, sub_key, options, access, result); }, true);
  if (status == ERROR_SUCCESS) NamesOfHandles()[*result] = sub_key ? sub_key : L"";
  return status;
}

LSTATUS CloseKey(HKEY key) {
  --test::Recorder::Get().open_handles;
  NamesOfHandles().erase(key);
  return Through(Call(Fn::CloseKey), [&] { return ::RegCloseKey(key); });
}

LSTATUS EnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_length, LPDWORD reserved, LPWSTR class_name,
                   LPDWORD class_length, PFILETIME last_write) {
  return Through(Call(Fn::EnumKeyEx, nullptr, index), [&] {
    LSTATUS status = ::RegEnumKeyExW(key, index, name, name_length, reserved, class_name, class_length, last_write);
    test::Recorder& r = test::Recorder::Get();
    if (status == ERROR_SUCCESS && r.sub_key_name) r.sub_key_name(name, *name_length);
    return status;
  });
}

LSTATUS EnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_length, LPDWORD reserved, LPDWORD type,
                   LPBYTE data, LPDWORD data_size) {
  test::Recorder& r = test::Recorder::Get();
  DWORD asked = r.value_index ? r.value_index(index) : index;
  return Through(Call(Fn::EnumValue, nullptr, index),
                 [&] { return ::RegEnumValueW(key, asked, name, name_length, reserved, type, data, data_size); });
}

LSTATUS QueryValueExW(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD data_size) {
  return Through(Call(Fn::QueryValueEx, name),
                 [&] { return ::RegQueryValueExW(key, name, reserved, type, data, data_size); });
}

LSTATUS SetValueExW(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD data_size) {
  Call c(Fn::SetValueEx, name);
  c.type = type;
  if (data) c.data.assign(reinterpret_cast<const char*>(data), data_size);
  return Through(c, [&] { return ::RegSetValueExW(key, name, reserved, type, data, data_size); });
}

LSTATUS DeleteValueW(HKEY key, LPCWSTR name) {
  return Through(Call(Fn::DeleteValue, name), [&] { return ::RegDeleteValueW(key, name); });
}

LSTATUS QueryInfoKeyW(HKEY key, LPWSTR class_name, LPDWORD class_length, LPDWORD reserved, LPDWORD sub_keys,
                      LPDWORD max_sub_key_length, LPDWORD max_class_length, LPDWORD values,
                      LPDWORD max_value_name_length, LPDWORD max_value_length, LPDWORD security_descriptor_size,
                      PFILETIME last_write) {
  return Through(Call(Fn::QueryInfoKey), [&] {
    return ::RegQueryInfoKeyW(key, class_name, class_length, reserved, sub_keys, max_sub_key_length, max_class_length,
                              values, max_value_name_length, max_value_length, security_descriptor_size, last_write);
  });
}

LSTATUS CreateKeyW(HKEY key, LPCWSTR sub_key, PHKEY result) {
  return Through(Call(Fn::CreateKey, sub_key), [&] { return ::RegCreateKeyW(key, sub_key, result); }, true);
}

LSTATUS CreateKeyExW(HKEY key, LPCWSTR sub_key, REGSAM access, PHKEY result, LPDWORD disposition) {
  Call c(Fn::CreateKeyEx, sub_key);
  c.access = access;
  return Through(c, [&] {
    return ::RegCreateKeyExW(key, sub_key, 0, nullptr, 0, access, nullptr, result, disposition);
  }, true);
}

LSTATUS DeleteOpenKey(HKEY key) {
  auto name = NamesOfHandles().find(key);
  return Through(Call(Fn::DeleteOpenKey, name == NamesOfHandles().end() ? nullptr : name->second.c_str()),
                 [&] { return DeleteByHandle(key); });
}

LSTATUS NotifyChangeKeyValue(HKEY key, BOOL subtree, DWORD filter, HANDLE event, BOOL asynchronous) {
  Call c(Fn::NotifyChangeKeyValue, nullptr, subtree);  // index: the subtree flag
  c.access = filter;
  return Through(c, [&] { return ::RegNotifyChangeKeyValue(key, subtree, filter, event, asynchronous); });
}

LSTATUS GetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR descriptor, LPDWORD size) {
  return Through(Call(Fn::GetKeySecurity, nullptr, info),
                 [&] { return ::RegGetKeySecurity(key, info, descriptor, size); });
}

DWORD SetSecurityInfo(HKEY key, SECURITY_INFORMATION info, PSID owner, PSID group, PACL dacl, PACL sacl) {
  return static_cast<DWORD>(Through(Call(Fn::SetSecurityInfo, nullptr, info), [&] {
    return static_cast<LONG>(::SetSecurityInfo(key, SE_REGISTRY_KEY, info, owner, group, dacl, sacl));
  }));
}

LSTATUS FlushKey(HKEY key) { return ::RegFlushKey(key); }

// The platform's RegRenameKey, except under Wine: Wine 8's can store the
// renamed key over a neighbour in the registry server's key list, and a
// damaged server fails the calls of every test that shares it later. There
// it counts as missing, as in the module's own binding. A test makes it
// missing anywhere by injecting ERROR_CALL_NOT_IMPLEMENTED.
using Rename = LSTATUS(WINAPI*)(HKEY, LPCWSTR, LPCWSTR);
static Rename PlatformRename() {
  static const Rename rename = []() -> Rename {
    if (UnderWine()) return nullptr;
    HMODULE advapi = ::GetModuleHandleW(L"advapi32.dll");
    return reinterpret_cast<Rename>(
        reinterpret_cast<void (*)()>(advapi ? ::GetProcAddress(advapi, "RegRenameKey") : nullptr));
  }();
  return rename;
}

LSTATUS RenameKeyW(HKEY key, LPCWSTR sub_key, LPCWSTR new_name) {
  Rename rename = PlatformRename();
  Call c(Fn::RenameKey, sub_key);
  c.new_name = new_name ? new_name : L"";
  return Through(c, [&] { return rename ? rename(key, sub_key, new_name) : ERROR_CALL_NOT_IMPLEMENTED; });
}

}  // namespace vorn::registry::api

bool vorn::test::PlatformRenamesKeys() { return vorn::registry::api::PlatformRename() != nullptr; }

