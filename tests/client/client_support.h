// Helpers of the client tests: a private registry key per test, owned
// automation values, creation and calls by dispatch identifier.
#pragma once

#include <oaidl.h>
#include <oleauto.h>
#include <windows.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "contract/guids.h"
#include "contract/interfaces.h"
#include "tests/module_path.h"

namespace client {

using Microsoft::WRL::ComPtr;
using namespace vorn::guids;

inline constexpr LONG kCurrentUser = static_cast<LONG>(0x80000001);  // as the library takes it
inline constexpr WORD kGet = DISPATCH_PROPERTYGET, kPut = DISPATCH_PROPERTYPUT, kSet = DISPATCH_PROPERTYPUTREF,
                      kCall = DISPATCH_METHOD;

inline bool CreateKey(HKEY root, const std::wstring& path, DWORD options = 0) {
  HKEY key = nullptr;
  if (::RegCreateKeyExW(root, path.c_str(), 0, nullptr, options, KEY_ALL_ACCESS, nullptr, &key, nullptr)) return false;
  return ::RegCloseKey(key), true;
}

inline bool KeyExists(HKEY root, const std::wstring& path) {
  HKEY key = nullptr;
  return !::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) && !::RegCloseKey(key);
}

// HKCU\Software\VornRegistryTests\<unique>, deleted with its tree at the end.
struct ScratchKey {
  std::wstring path = L"Software\\VornRegistryTests\\client-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                      std::to_wstring(::GetTickCount()) + L"-" + std::to_wstring(++counter);
  static inline int counter = 0;
  ScratchKey() { CreateKey(HKEY_CURRENT_USER, path); }
  ~ScratchKey() { ::RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str()); }
  std::wstring Below(const std::wstring& sub) const { return path + L"\\" + sub; }
  void Make(const std::wstring& sub) const { CreateKey(HKEY_CURRENT_USER, Below(sub)); }
  bool Has(const std::wstring& sub) const { return KeyExists(HKEY_CURRENT_USER, Below(sub)); }
  void SetString(const std::wstring& name, const std::wstring& text) const {
    ::RegSetKeyValueW(HKEY_CURRENT_USER, path.c_str(), name.c_str(), REG_SZ, text.c_str(), 2 * (text.size() + 1));
  }
};

// An owned VARIANT; copies are deep, so that tables can hold them.
struct Variant : VARIANT {
  Variant() { ::VariantInit(this); }
  Variant(LONG i) : Variant() { V_VT(this) = VT_I4, V_I4(this) = i; }
  Variant(const std::wstring& s) : Variant() { V_VT(this) = VT_BSTR, V_BSTR(this) = ::SysAllocString(s.c_str()); }
  Variant(const wchar_t* s) : Variant(std::wstring(s)) {}
  Variant(IDispatch* d) : Variant() { V_VT(this) = VT_DISPATCH, V_DISPATCH(this) = d, d && d->AddRef(); }
  Variant(const Variant& other) : Variant() { *this = other; }
  Variant& operator=(const Variant& other) { return ::VariantCopy(this, const_cast<Variant*>(&other)), *this; }
  ~Variant() { ::VariantClear(this); }
  std::wstring Text() const { return V_VT(this) == VT_BSTR && V_BSTR(this) ? V_BSTR(this) : L""; }
};

// An out-parameter for a string: v is emptied and then holds what is written.
inline BSTR* Out(Variant& v) { return ::VariantClear(&v), V_VT(&v) = VT_BSTR, &V_BSTR(&v); }

// IDispatch::Invoke by identifier, the arguments in their natural order (for
// a put, the last is the value). Each is passed as a copy of its own, as a
// script passes a literal: a member may replace a by-reference argument.
inline HRESULT Invoke(IDispatch* object, DISPID id, WORD flags, std::vector<Variant> args = {},
                      Variant* result = nullptr) {
  std::vector<Variant> reversed(args.rbegin(), args.rend());
  DISPID named = DISPID_PROPERTYPUT;
  const bool put = flags & (kPut | kSet);
  DISPPARAMS params = {reversed.data(), put ? &named : nullptr, static_cast<UINT>(reversed.size()), put};
  if (result) ::VariantClear(result);
  return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, nullptr);
}

template <typename T>
ComPtr<T> Create(const CLSID& clsid, const IID& iid) {
  ComPtr<T> object;
  return ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, &object), object;
}

inline IUnknown* Identity(IUnknown* object) {  // for "same object" comparisons
  ComPtr<IUnknown> unknown;
  return object && SUCCEEDED(object->QueryInterface(IID_IUnknown, &unknown)) ? unknown.Get() : nullptr;
}

}  // namespace client
