// Helpers of the client tests: the module under test, a private registry key
// per test, automation values, and calls through IDispatch by identifier.
#pragma once

#include <oaidl.h>
#include <oleauto.h>
#include <windows.h>
#include <wrl/client.h>

#include <string>
#include <vector>

namespace client {

using Microsoft::WRL::ComPtr;

// The module named on the command line, as a Windows path.
const std::wstring& ModulePath();

// The module's exports, loaded with LoadLibrary from ModulePath().
struct Exports {
  HMODULE module = nullptr;
  HRESULT(__stdcall* CanUnloadNow)() = nullptr;
  HRESULT(__stdcall* GetClassObject)(REFCLSID, REFIID, void**) = nullptr;
  HRESULT(__stdcall* RegisterServer)() = nullptr;
  HRESULT(__stdcall* UnregisterServer)() = nullptr;
};
// Loaded once per process and kept loaded.
const Exports& Module();

// HKEY_CURRENT_USER as the library takes it.
inline constexpr LONG kCurrentUser = static_cast<LONG>(0x80000001);

// HKCU\Software\VornRegistryTests\<unique> for one test, deleted with
// everything below it at the end. Written and read with the wide registry
// functions directly.
class ScratchKey {
 public:
  ScratchKey();
  ~ScratchKey();
  ScratchKey(const ScratchKey&) = delete;
  ScratchKey& operator=(const ScratchKey&) = delete;

  const std::wstring& Path() const { return path_; }
  std::wstring Below(const std::wstring& sub) const { return sub.empty() ? path_ : path_ + L"\\" + sub; }
  void CreateKey(const std::wstring& sub) const;
  bool KeyExists(const std::wstring& sub) const;
  void SetString(const std::wstring& sub, const std::wstring& name, const std::wstring& text) const;
  void SetDword(const std::wstring& sub, const std::wstring& name, DWORD data) const;
  // Type and data of a value: REG_SZ as text, REG_DWORD as its number in
  // decimal; false when missing.
  bool Read(const std::wstring& sub, const std::wstring& name, DWORD& type, std::wstring& data) const;

 private:
  std::wstring path_;
};

// Registry reads below any root. null name: the default value.
bool KeyExists(HKEY root, const std::wstring& path);
// The REG_SZ value, or false when the key or value is missing or not REG_SZ.
bool ReadString(HKEY root, const std::wstring& path, const wchar_t* name, std::wstring& text);

// An owned VARIANT.
class Variant {
 public:
  Variant() { ::VariantInit(&v_); }
  explicit Variant(LONG i) : Variant() {
    V_VT(&v_) = VT_I4;
    V_I4(&v_) = i;
  }
  explicit Variant(const std::wstring& s) : Variant() {
    V_VT(&v_) = VT_BSTR;
    V_BSTR(&v_) = ::SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
  }
  explicit Variant(IDispatch* d) : Variant() {
    V_VT(&v_) = VT_DISPATCH;
    V_DISPATCH(&v_) = d;
    if (d) d->AddRef();
  }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { ::VariantClear(&v_); }
  VARIANT* get() { return &v_; }
  const VARIANT* get() const { return &v_; }
  VARTYPE vt() const { return V_VT(&v_); }
  std::wstring Text() const;  // VT_BSTR contents, or "" for anything else
  LONG I4() const { return vt() == VT_I4 ? V_I4(&v_) : 0; }

 private:
  VARIANT v_;
};

// An owned BSTR.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const std::wstring& s) : b_(::SysAllocStringLen(s.data(), static_cast<UINT>(s.size()))) {}
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { ::SysFreeString(b_); }
  BSTR* put() {
    ::SysFreeString(b_);
    b_ = nullptr;
    return &b_;
  }
  BSTR* ref() { return &b_; }  // for by-reference parameters
  std::wstring Text() const { return std::wstring(b_ ? b_ : L"", ::SysStringLen(b_)); }

 private:
  BSTR b_ = nullptr;
};

// IDispatch::Invoke by dispatch identifier. args in their natural order;
// for a property put or putref the last one is the value.
HRESULT InvokeId(IDispatch* object, DISPID id, WORD flags, std::vector<const VARIANT*> args = {},
                 Variant* result = nullptr);
inline HRESULT GetId(IDispatch* object, DISPID id, Variant& result, std::vector<const VARIANT*> args = {}) {
  return InvokeId(object, id, DISPATCH_PROPERTYGET, std::move(args), &result);
}
inline HRESULT PutId(IDispatch* object, DISPID id, const Variant& value) {
  return InvokeId(object, id, DISPATCH_PROPERTYPUT, {value.get()});
}

// The identity of an object (its IUnknown), for "same object" comparisons.
IUnknown* Identity(IUnknown* object);

// Waits for handle while pumping this thread's messages, as an STA must.
bool WaitPumping(HANDLE handle, DWORD timeout_ms);

}  // namespace client
