// Whether this process runs under Wine: its ntdll exports wine_get_version.
// The few places that work around a fault of Wine's ask here.
#pragma once

#include <windows.h>

namespace vorn {

inline bool UnderWine() noexcept {
  static const bool wine = [] {
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
  }();
  return wine;
}

}  // namespace vorn
