// The full path of a loaded module, read however long it is.
#include "support/module_file.h"

#include <new>

namespace vorn {

HRESULT ModuleFileName(HMODULE module, std::wstring& path) noexcept {
  try {
    path.resize(MAX_PATH);
    for (;;) {
      DWORD length = ::GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
      if (length == 0) return HRESULT_FROM_WIN32(::GetLastError());
      if (length < path.size()) {
        path.resize(length);
        return S_OK;
      }
      if (path.size() >= 32768) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
      path.resize(path.size() * 2);
    }
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace vorn
