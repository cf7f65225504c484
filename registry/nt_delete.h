// DeleteByHandle: ntdll's NtDeleteKey for the bindings of the registry seam,
// the one call that deletes a registry link itself rather than its target.
#pragma once

#include <windows.h>

#include <utility>

namespace vorn::registry::api {

inline LSTATUS DeleteByHandle(HKEY key) noexcept {
  using NtDelete = LONG(WINAPI*)(HANDLE);
  using ToWin32 = ULONG(WINAPI*)(LONG);
  // ntdll is in every process; looked up once.
  static const auto functions = [] {
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    auto find = [&](const char* name) { return ntdll ? ::GetProcAddress(ntdll, name) : nullptr; };
    return std::pair(reinterpret_cast<NtDelete>(reinterpret_cast<void (*)()>(find("NtDeleteKey"))),
                     reinterpret_cast<ToWin32>(reinterpret_cast<void (*)()>(find("RtlNtStatusToDosError"))));
  }();
  if (!functions.first || !functions.second) return ERROR_CALL_NOT_IMPLEMENTED;
  const LONG status = functions.first(key);
  return status ? static_cast<LSTATUS>(functions.second(status)) : ERROR_SUCCESS;
}

}  // namespace vorn::registry::api
