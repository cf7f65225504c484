// The full path of a loaded module, however long.
#pragma once

#include <windows.h>

#include <string>

namespace vorn {

HRESULT ModuleFileName(HMODULE module, std::wstring& path) noexcept;

}  // namespace vorn
