// Placeholder entry points; the class-factory table and registration follow.
#include <windows.h>
#include <objbase.h>

extern "C" HRESULT __stdcall DllCanUnloadNow() { return S_FALSE; }
extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID, REFIID, void** object) {
  if (object) *object = nullptr;
  return CLASS_E_CLASSNOTAVAILABLE;
}
extern "C" HRESULT __stdcall DllRegisterServer() { return E_NOTIMPL; }
extern "C" HRESULT __stdcall DllUnregisterServer() { return E_NOTIMPL; }
