// The module's entry point and its four exports (ordinals in VornRegistry.def).
#include <objbase.h>
#include <windows.h>

#include <new>
#include <string>

#include "platform/type_info.h"
#include "surface/class_factory.h"
#include "surface/registration.h"

namespace {

HMODULE g_module = nullptr;

// The full path of this module, however long.
HRESULT ModulePath(std::wstring& path) noexcept {
  try {
    path.resize(MAX_PATH);
    for (;;) {
      DWORD length = ::GetModuleFileNameW(g_module, path.data(), static_cast<DWORD>(path.size()));
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

}  // namespace

// Keeps the module handle, nothing else. Thread notifications stay on: the
// statically linked thread runtime cleans up after threads through them.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
  return TRUE;
}

extern "C" HRESULT __stdcall DllCanUnloadNow() {
  if (!vorn::server::CanUnloadNow()) return S_FALSE;
  // Nothing uses the type information any more; the module may go.
  vorn::type_info::Release();
  return S_OK;
}

extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
  return vorn::server::GetClassObject(clsid, riid, object);
}

extern "C" HRESULT __stdcall DllRegisterServer() {
  std::wstring path;
  if (HRESULT hr = ModulePath(path); FAILED(hr)) return hr;
  return vorn::server::RegisterServer(HKEY_CLASSES_ROOT, path);
}

extern "C" HRESULT __stdcall DllUnregisterServer() { return vorn::server::UnregisterServer(HKEY_CLASSES_ROOT); }
