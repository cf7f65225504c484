// regfree_client.exe - uses VornRegistry.dll without registering it. The
// program's manifest (regfree_client.exe.manifest, embedded as resource 1 by
// regfree_client.rc) names the module as a private side-by-side assembly, and
// VornRegistry.dll sits beside the program.
//
//   regfree_client.exe [KEY]     KEY below HKEY_CURRENT_USER
//                                (default Software\VornRegistryRegFreeExample)
//
// Creates the three classes by ProgID (and by CLSID), calls them by name
// through IDispatch to create KEY, write a value there and read it back, uses
// the key object from a second apartment, and deletes KEY again. Exits 1 at
// the first failure, after printing it. Builds in this folder of the release
// archive with its header (i686-w64-mingw32-* for the 32-bit archive):
//   x86_64-w64-mingw32-windres regfree_client.rc -O coff -o regfree_client.res.o
//   x86_64-w64-mingw32-g++ -std=c++17 -municode -static -I ../../include regfree_client.cpp regfree_client.res.o
//       -lole32 -loleaut32 -luuid -o regfree_client.exe
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <string>
#include <vector>

#include "VornRegAccLib.h"

namespace {

// Owns one IDispatch.
struct Object {
  IDispatch* p = nullptr;
  Object() = default;
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;
  ~Object() {
    if (p) p->Release();
  }
};

// Owns one VARIANT.
struct Variant : VARIANT {
  Variant() { VariantInit(this); }
  Variant(LONG i) : Variant() { V_VT(this) = VT_I4, V_I4(this) = i; }
  Variant(const std::wstring& s) : Variant() { V_VT(this) = VT_BSTR, V_BSTR(this) = SysAllocString(s.c_str()); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { VariantClear(this); }
};

// The description of the last exception a call raised, if any.
thread_local std::wstring g_description;

bool Check(HRESULT hr, const std::wstring& what) {
  if (SUCCEEDED(hr)) return true;
  std::printf("%ls: failed (0x%08lX)%ls\n", what.c_str(), static_cast<unsigned long>(hr),
              g_description.empty() ? L"" : (L": " + g_description).c_str());
  return false;
}

// Calls member `name` of object: a property get or put, or a method. The
// arguments come in their natural order; for a put the last one is the value.
HRESULT Call(IDispatch* object, const wchar_t* name, WORD flags, std::vector<const VARIANT*> args = {},
             VARIANT* result = nullptr) {
  DISPID id = 0;
  g_description.clear();
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  std::vector<VARIANT> reversed;  // IDispatch takes them last first
  for (auto arg = args.rbegin(); arg != args.rend(); ++arg) reversed.push_back(**arg);
  DISPID named = DISPID_PROPERTYPUT;
  const bool put = flags == DISPATCH_PROPERTYPUT;
  DISPPARAMS params = {reversed.data(), put ? &named : nullptr, static_cast<UINT>(reversed.size()), put ? 1u : 0u};
  EXCEPINFO exception = {};
  hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &exception, nullptr);
  g_description = exception.bstrDescription ? exception.bstrDescription : L"";
  SysFreeString(exception.bstrSource), SysFreeString(exception.bstrDescription), SysFreeString(exception.bstrHelpFile);
  return hr;
}

// Points an object at HKEY_CURRENT_USER\path.
bool Open(IDispatch* object, const std::wstring& path) {
  Variant root(static_cast<LONG>(enHKEY_HKEY_CURRENT_USER)), where(path);
  return Check(Call(object, L"HKEY", DISPATCH_PROPERTYPUT, {&root}), L"HKEY") &&
         Check(Call(object, L"Path", DISPATCH_PROPERTYPUT, {&where}), L"Path");
}

// What the second apartment saw of the key object.
struct Remote {
  IStream* stream = nullptr;  // the marshalled key object
  HRESULT hr = E_UNEXPECTED;
  std::wstring path;
  LONG values = 0;
};

DWORD WINAPI SecondApartment(void* parameter) {
  auto& remote = *static_cast<Remote*>(parameter);
  if (FAILED(remote.hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 0;
  {
    Object key;
    Variant path, list, count;
    // _clsKey is dual: its proxy is an IDispatch too.
    remote.hr =
        CoGetInterfaceAndReleaseStream(remote.stream, vorn::guids::IID__clsKey, reinterpret_cast<void**>(&key.p));
    if (SUCCEEDED(remote.hr)) remote.hr = Call(key.p, L"Path", DISPATCH_PROPERTYGET, {}, &path);
    if (SUCCEEDED(remote.hr)) remote.hr = Call(key.p, L"Values", DISPATCH_PROPERTYGET, {}, &list);
    if (SUCCEEDED(remote.hr)) remote.hr = Call(V_DISPATCH(&list), L"Count", DISPATCH_PROPERTYGET, {}, &count);
    if (SUCCEEDED(remote.hr)) remote.path = V_BSTR(&path), remote.values = V_I4(&count);
  }
  CoUninitialize();
  return 0;
}

int Run(const std::wstring& path) {
  struct Class {
    const wchar_t* prog_id;
    const CLSID& clsid;
    const IID& iid;  // its default interface
    Object object;
  } classes[] = {{L"VornRegAccLib.clsKey", vorn::guids::CLSID_clsKey, vorn::guids::IID__clsKey, {}},
                 {L"VornRegAccLib.clsKeys", vorn::guids::CLSID_clsKeys, vorn::guids::IID__clsKeys, {}},
                 {L"VornRegAccLib.clsValues", vorn::guids::CLSID_clsValues, vorn::guids::IID__clsValues, {}}};

  // Every class by ProgID and by CLSID, all tried before giving up. The ProgID
  // may resolve to a stand-in CLSID (Wine hands out one of its own), so the
  // object is checked, not the CLSID: it must answer its default interface.
  bool created = true;
  for (Class& c : classes) {
    CLSID clsid;
    IUnknown* own = nullptr;
    HRESULT hr = CLSIDFromProgID(c.prog_id, &clsid);
    if (SUCCEEDED(hr))
      hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&c.object.p));
    if (SUCCEEDED(hr) && SUCCEEDED(hr = c.object.p->QueryInterface(c.iid, reinterpret_cast<void**>(&own))))
      own->Release();
    created = Check(hr, std::wstring(c.prog_id) + L" by ProgID") && created;
    IUnknown* by_clsid = nullptr;
    hr = CoCreateInstance(c.clsid, nullptr, CLSCTX_INPROC_SERVER, c.iid, reinterpret_cast<void**>(&by_clsid));
    if (by_clsid) by_clsid->Release();
    created = Check(hr, std::wstring(c.prog_id) + L" by CLSID") && created;
  }
  if (!created) return 1;
  std::printf("created the three classes by ProgID and by CLSID\n");
  IDispatch *key = classes[0].object.p, *keys = classes[1].object.p, *values = classes[2].object.p;

  // The type library, found through the module's manifest.
  ITypeLib* library = nullptr;
  if (!Check(LoadRegTypeLib(vorn::guids::LIBID_VornRegAccLib, 1, 0, 0, &library), L"LoadRegTypeLib")) return 1;
  library->Release();

  // By name: create the key (and every key along its path) below the root,
  // write a value, read it back through the key.
  Variant name(path), added, value_name(L"Greeting"), text(L"hello"), type(static_cast<LONG>(enValueTypes_REG_SZ));
  Variant exists, list, item, value;
  if (!Open(keys, L"") || !Check(Call(keys, L"Add", DISPATCH_METHOD, {&name}, &added), L"clsKeys.Add") ||
      !Check(V_BOOL(&added) ? S_OK : E_FAIL, L"clsKeys.Add returned False"))
    return 1;
  if (!Open(values, path) ||
      !Check(Call(values, L"Add", DISPATCH_METHOD, {&value_name, &text, &type}, &added), L"clsValues.Add") ||
      !Check(V_BOOL(&added) ? S_OK : E_FAIL, L"clsValues.Add returned False"))
    return 1;
  if (!Open(key, path) || !Check(Call(key, L"Exists", DISPATCH_PROPERTYGET, {}, &exists), L"clsKey.Exists") ||
      !Check(Call(key, L"Values", DISPATCH_PROPERTYGET, {}, &list), L"clsKey.Values") ||
      !Check(Call(V_DISPATCH(&list), L"Item", DISPATCH_PROPERTYGET, {&value_name}, &item), L"Values.Item") ||
      !Check(Call(V_DISPATCH(&item), L"Value", DISPATCH_PROPERTYGET, {}, &value), L"clsValue.Value"))
    return 1;
  std::printf("by name: HKEY_CURRENT_USER\\%ls exists: %s, Greeting = %ls\n", path.c_str(),
              V_BOOL(&exists) ? "yes" : "no", V_VT(&value) == VT_BSTR ? V_BSTR(&value) : L"?");

  // The key object from a second apartment, through its own interface, which
  // the automation marshaller proxies from the type library: the calls come
  // back to this apartment, which serves them while it waits.
  Remote remote;
  _clsKey* own = nullptr;
  HRESULT hr = key->QueryInterface(vorn::guids::IID__clsKey, reinterpret_cast<void**>(&own));
  if (SUCCEEDED(hr)) hr = CoMarshalInterThreadInterfaceInStream(vorn::guids::IID__clsKey, own, &remote.stream);
  if (own) own->Release();
  if (!Check(hr, L"marshalling the key")) return 1;
  HANDLE thread = CreateThread(nullptr, 0, SecondApartment, &remote, 0, nullptr);
  DWORD index = 0;
  if (!thread || CoWaitForMultipleHandles(0, 60000, 1, &thread, &index) != S_OK) {
    std::printf("the second apartment did not finish\n");
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 1);  // it still uses this frame
  }
  CloseHandle(thread);
  if (!Check(remote.hr, L"calls from a second apartment")) return 1;
  std::printf("second apartment: %ls holds %ld value(s)\n", remote.path.c_str(), remote.values);

  Variant deleted;
  if (!Check(Call(keys, L"Delete", DISPATCH_METHOD, {&name}, &deleted), L"clsKeys.Delete") ||
      !Check(V_BOOL(&deleted) ? S_OK : E_FAIL, L"clsKeys.Delete returned False"))
    return 1;
  std::printf("deleted HKEY_CURRENT_USER\\%ls\n", path.c_str());
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring path = argc > 1 ? argv[1] : L"Software\\VornRegistryRegFreeExample";
  if (argc > 2 || path.empty()) {
    std::printf("usage: regfree_client.exe [KEY]   (KEY below HKEY_CURRENT_USER)\n");
    return 2;
  }
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  const int status = Run(path);
  CoUninitialize();
  std::fflush(stdout);
  return status;
}
