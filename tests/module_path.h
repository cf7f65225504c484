// The built module a test program is given as its first argument, as a
// Windows path: a Unix path is reached through Wine's Z: drive, the drive
// that register_module.sh registers the module under.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

inline const std::wstring& ModulePath() {
  static const std::wstring path = [] {
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    std::wstring p = argv && argc > 1 ? argv[1] : L"";
    ::LocalFree(argv);
    if (!p.empty() && p[0] == L'/') p = L"Z:" + p;
    for (wchar_t& c : p)
      if (c == L'/') c = L'\\';
    return p;
  }();
  return path;
}
