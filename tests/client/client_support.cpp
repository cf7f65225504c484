#include "client_support.h"

#include <shellapi.h>

#include <atomic>
#include <stdexcept>

namespace client {
namespace {

// Wine maps Unix paths to drives itself; ask it rather than assume Z:.
std::wstring WindowsPath(const std::wstring& path) {
  if (path.empty() || path[0] != L'/') return path;
  using ToDos = WCHAR*(CDECL*)(const char*);
  auto to_dos = reinterpret_cast<ToDos>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
  if (to_dos) {
    int n = ::WideCharToMultiByte(CP_UTF8, 0, path.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(n, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, path.c_str(), -1, utf8.data(), n, nullptr, nullptr);
    if (WCHAR* dos = to_dos(utf8.c_str())) {
      std::wstring result = dos;
      ::HeapFree(::GetProcessHeap(), 0, dos);
      return result;
    }
  }
  std::wstring result = L"Z:" + path;
  for (wchar_t& c : result)
    if (c == L'/') c = L'\\';
  return result;
}

std::wstring FindModulePath() {
  int argc = 0;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  std::wstring found;
  for (int i = 1; argv && i < argc; ++i) {
    if (std::wstring(argv[i]).rfind(L"--gtest", 0) == 0) continue;
    found = WindowsPath(argv[i]);
    break;
  }
  ::LocalFree(argv);
  return found;
}

void Check(LSTATUS status, const char* what) {
  if (status != ERROR_SUCCESS) throw std::runtime_error(std::string(what) + " failed: " + std::to_string(status));
}

}  // namespace

const std::wstring& ModulePath() {
  static const std::wstring path = FindModulePath();
  return path;
}

const Exports& Module() {
  static const Exports exports = [] {
    Exports e;
    e.module = ::LoadLibraryW(ModulePath().c_str());
    if (!e.module) return e;
    auto get = [&](const char* name) { return reinterpret_cast<void*>(::GetProcAddress(e.module, name)); };
    e.CanUnloadNow = reinterpret_cast<decltype(e.CanUnloadNow)>(get("DllCanUnloadNow"));
    e.GetClassObject = reinterpret_cast<decltype(e.GetClassObject)>(get("DllGetClassObject"));
    e.RegisterServer = reinterpret_cast<decltype(e.RegisterServer)>(get("DllRegisterServer"));
    e.UnregisterServer = reinterpret_cast<decltype(e.UnregisterServer)>(get("DllUnregisterServer"));
    return e;
  }();
  return exports;
}

ScratchKey::ScratchKey() {
  static std::atomic<int> counter{0};
  path_ = L"Software\\VornRegistryTests\\client-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
          std::to_wstring(::GetTickCount()) + L"-" + std::to_wstring(++counter);
  CreateKey(L"");
}

ScratchKey::~ScratchKey() { ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str()); }

void ScratchKey::CreateKey(const std::wstring& sub) const {
  HKEY key = nullptr;
  Check(::RegCreateKeyExW(HKEY_CURRENT_USER, Below(sub).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        "RegCreateKeyExW");
  ::RegCloseKey(key);
}

bool ScratchKey::KeyExists(const std::wstring& sub) const { return client::KeyExists(HKEY_CURRENT_USER, Below(sub)); }

void ScratchKey::SetString(const std::wstring& sub, const std::wstring& name, const std::wstring& text) const {
  Check(::RegSetKeyValueW(HKEY_CURRENT_USER, Below(sub).c_str(), name.c_str(), REG_SZ, text.c_str(),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
        "RegSetKeyValueW");
}

void ScratchKey::SetDword(const std::wstring& sub, const std::wstring& name, DWORD data) const {
  Check(::RegSetKeyValueW(HKEY_CURRENT_USER, Below(sub).c_str(), name.c_str(), REG_DWORD, &data, sizeof data),
        "RegSetKeyValueW");
}

bool ScratchKey::Read(const std::wstring& sub, const std::wstring& name, DWORD& type, std::wstring& data) const {
  BYTE buffer[4096] = {};
  DWORD size = sizeof buffer - sizeof(wchar_t);
  if (::RegGetValueW(HKEY_CURRENT_USER, Below(sub).c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type, buffer,
                     &size) != ERROR_SUCCESS)
    return false;
  if (type == REG_DWORD)
    data = std::to_wstring(*reinterpret_cast<DWORD*>(buffer));
  else
    data = reinterpret_cast<const wchar_t*>(buffer);
  return true;
}

bool KeyExists(HKEY root, const std::wstring& path) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  ::RegCloseKey(key);
  return true;
}

bool ReadString(HKEY root, const std::wstring& path, const wchar_t* name, std::wstring& text) {
  wchar_t buffer[2048] = {};
  DWORD size = sizeof buffer - sizeof(wchar_t);
  if (::RegGetValueW(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS) return false;
  text = buffer;
  return true;
}

std::wstring Variant::Text() const {
  if (vt() != VT_BSTR) return L"";
  BSTR b = V_BSTR(&v_);
  return std::wstring(b ? b : L"", ::SysStringLen(b));
}

HRESULT InvokeId(IDispatch* object, DISPID id, WORD flags, std::vector<const VARIANT*> args, Variant* result) {
  // Invoke takes the arguments last to first. Each is a copy of its own, as
  // a script passes a literal: a member may replace an argument that it takes
  // by reference (the standard dispatch then points it into rgvarg), and that
  // must not leave the caller's Variant holding a freed string.
  std::vector<VARIANT> reversed(args.size());
  for (std::size_t i = 0; i < args.size(); ++i) {
    ::VariantInit(&reversed[i]);
    ::VariantCopy(&reversed[i], const_cast<VARIANT*>(args[args.size() - 1 - i]));
  }
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    params.rgdispidNamedArgs = &named;
    params.cNamedArgs = 1;
  }
  EXCEPINFO excep = {};
  UINT arg_err = 0;
  HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result ? result->get() : nullptr,
                              &excep, &arg_err);
  for (VARIANT& arg : reversed) ::VariantClear(&arg);
  ::SysFreeString(excep.bstrSource);
  ::SysFreeString(excep.bstrDescription);
  ::SysFreeString(excep.bstrHelpFile);
  if (hr == DISP_E_EXCEPTION && excep.scode) hr = excep.scode;
  return hr;
}

IUnknown* Identity(IUnknown* object) {
  IUnknown* unknown = nullptr;
  if (!object || FAILED(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)))) return nullptr;
  unknown->Release();
  return unknown;
}

bool WaitPumping(HANDLE handle, DWORD timeout_ms) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    DWORD elapsed = ::GetTickCount() - start;
    if (elapsed >= timeout_ms) return false;
    DWORD r = ::MsgWaitForMultipleObjects(1, &handle, FALSE, timeout_ms - elapsed, QS_ALLINPUT);
    if (r == WAIT_OBJECT_0) return true;
    if (r != WAIT_OBJECT_0 + 1) return false;
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
}

}  // namespace client
