// The module's entry point and its exports (ordinals in VornRegistry.def).
#include <objbase.h>
#include <windows.h>

#include <string>

#include "support/module_file.h"
#include "automation/type_info.h"
#include "server/class_factory.h"
#include "server/registration.h"

namespace {

HMODULE g_module = nullptr;

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

namespace {

HRESULT Register(vorn::server::Scope scope) {
  std::wstring path;
  if (HRESULT hr = vorn::ModuleFileName(g_module, path); FAILED(hr)) return hr;
  return vorn::server::RegisterServer(scope, path);
}

}  // namespace

extern "C" HRESULT __stdcall DllRegisterServer() { return Register(vorn::server::Scope::kMachine); }

extern "C" HRESULT __stdcall DllUnregisterServer() {
  return vorn::server::UnregisterServer(vorn::server::Scope::kMachine);
}

// regsvr32 /n /i:user registers for the current user alone, without
// administrator rights, and /u /n /i:user removes that registration; an empty
// command line or "machine" registers per machine, as DllRegisterServer does.
extern "C" HRESULT __stdcall DllInstall(BOOL install, LPCWSTR command_line) {
  vorn::server::Scope scope;
  if (!vorn::server::ScopeFromCommandLine(command_line, scope)) return E_INVALIDARG;
  return install ? Register(scope) : vorn::server::UnregisterServer(scope);
}
