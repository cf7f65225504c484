// walk.exe - an early-bound client of VornRegAccLib: creates a clsKey through
// its _clsKey vtable and lists the values and sub-keys of one key, laid out
// like "reg query <key>" (without /s).
//
//   walk.exe ROOT [PATH]      ROOT: HKCU, HKLM, HKCR, HKU or HKCC
//
// The component must be registered (regsvr32 VornRegistry.dll). Builds with
// the release's header, for example:
//   x86_64-w64-mingw32-g++ -std=c++17 -municode -I include examples/walk.cpp -lole32 -loleaut32 -luuid
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "VornRegAccLib.h"

namespace {

// Owns one interface pointer.
template <typename T>
struct Ref {
  T* p = nullptr;
  Ref() = default;
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() {
    if (p) p->Release();
  }
  T** out() { return &p; }
  T* operator->() const { return p; }
};

// Owns one BSTR.
struct Text {
  BSTR s = nullptr;
  Text() = default;
  explicit Text(const wchar_t* text) : s(SysAllocString(text)) {}
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;
  ~Text() { SysFreeString(s); }
  BSTR* out() { return &s; }
  std::wstring str() const { return s ? std::wstring(s, SysStringLen(s)) : std::wstring(); }
};

// Writes one line to standard output: to a console as Unicode, to a file or
// pipe in the console's code page, as reg.exe does.
void Line(const std::wstring& text) {
  std::wstring line = text + L"\r\n";
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD written = 0, mode = 0;
  if (GetConsoleMode(out, &mode)) {
    WriteConsoleW(out, line.c_str(), static_cast<DWORD>(line.size()), &written, nullptr);
    return;
  }
  UINT cp = GetConsoleOutputCP();
  if (cp == 0) cp = GetOEMCP();  // no console: the code page a console would use
  int n = WideCharToMultiByte(cp, 0, line.c_str(), static_cast<int>(line.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(n > 0 ? n : 0, '\0');
  if (n > 0) WideCharToMultiByte(cp, 0, line.c_str(), static_cast<int>(line.size()), bytes.data(), n, nullptr, nullptr);
  WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

const wchar_t* TypeName(LONG code) {
  static const wchar_t* const names[] = {L"REG_NONE", L"REG_SZ", L"REG_EXPAND_SZ", L"REG_BINARY",
                                         L"REG_DWORD", L"REG_DWORD_BIG_ENDIAN", L"REG_LINK",
                                         L"REG_MULTI_SZ", L"REG_RESOURCE_LIST",
                                         L"REG_FULL_RESOURCE_DESCRIPTOR",
                                         L"REG_RESOURCE_REQUIREMENTS_LIST", L"REG_QWORD"};
  return code >= 0 && code < 12 ? names[code] : L"REG_UNKNOWN";
}

std::wstring DataText(const VARIANT& data) {
  wchar_t number[16];
  switch (V_VT(&data)) {
    case VT_I4:
      swprintf(number, 16, L"0x%lx", static_cast<unsigned long>(V_I4(&data)));
      return number;
    case VT_BSTR:
      return std::wstring(V_BSTR(&data), SysStringLen(V_BSTR(&data)));
    default:
      return std::wstring();  // the component decodes only REG_SZ and REG_DWORD
  }
}

// An Item index selecting the 1-based position i.
VARIANT Position(LONG i) {
  VARIANT index;
  VariantInit(&index);
  V_VT(&index) = VT_I4;
  V_I4(&index) = i;
  return index;
}

bool Check(HRESULT hr, const wchar_t* what) {
  if (SUCCEEDED(hr)) return true;
  wchar_t message[128];
  swprintf(message, 128, L"ERROR: %ls failed (0x%08lx)", what, static_cast<unsigned long>(hr));
  Line(message);
  return false;
}

int Walk(LONG root, const std::wstring& rootName, const wchar_t* path) {
  Ref<_clsKey> key;
  if (!Check(CoCreateInstance(vorn::guids::CLSID_clsKey, nullptr, CLSCTX_INPROC_SERVER, vorn::guids::IID__clsKey,
                              reinterpret_cast<void**>(key.out())),
             L"creating VornRegAccLib.clsKey (is VornRegistry.dll registered?)"))
    return 1;

  // HKEY and Path take references to the caller's variables.
  Text pathText(path);
  if (!Check(key->put_HKEY(&root), L"HKEY") || !Check(key->put_Path(pathText.out()), L"Path")) return 1;
  VARIANT_BOOL exists = VARIANT_FALSE;
  Text normalised;
  if (!Check(key->get_Exists(&exists), L"Exists") || !Check(key->get_Path(normalised.out()), L"Path")) return 1;
  std::wstring shown = rootName + (normalised.str().empty() ? L"" : L"\\" + normalised.str());
  if (!exists) {
    Line(L"ERROR: the key " + shown + L" does not exist");
    return 1;
  }

  Line(L"");
  Line(shown);
  Ref<_clsValues> values;
  LONG count = 0;
  if (!Check(key->get_Values(values.out()), L"Values") || !Check(values->get_Count(&count), L"Values.Count"))
    return 1;
  for (LONG i = 1; i <= count; ++i) {
    VARIANT index = Position(i);
    Ref<clsValue> record;
    Text name;
    LONG type = 0;
    VARIANT data;
    VariantInit(&data);
    if (!Check(values->get_Item(&index, record.out()), L"Values.Item") || !Check(record->get_Name(name.out()), L"Name") ||
        !Check(record->get_ValueType(&type), L"ValueType") || !Check(record->get_Value(&data), L"Value"))
      return 1;
    std::wstring shownName = name.str().empty() ? L"(Default)" : name.str();
    Line(L"    " + shownName + L"    " + TypeName(type) + L"    " + DataText(data));
    VariantClear(&data);
  }

  Ref<_clsKeys> subKeys;
  if (!Check(key->get_SubKeys(subKeys.out()), L"SubKeys") || !Check(subKeys->get_Count(&count), L"SubKeys.Count"))
    return 1;
  if (count > 0) Line(L"");
  for (LONG i = 1; i <= count; ++i) {
    VARIANT index = Position(i);
    Ref<_clsKey> child;
    Text name;
    if (!Check(subKeys->get_Item(&index, child.out()), L"SubKeys.Item") || !Check(child->get_Name(name.out()), L"Name"))
      return 1;
    Line(shown + L"\\" + name.str());
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  static const struct {
    const wchar_t* shortName;
    const wchar_t* fullName;
    LONG handle;
  } kRoots[] = {{L"HKCR", L"HKEY_CLASSES_ROOT", enHKEY_HKEY_CLASSES_ROOT},
                {L"HKCU", L"HKEY_CURRENT_USER", enHKEY_HKEY_CURRENT_USER},
                {L"HKLM", L"HKEY_LOCAL_MACHINE", enHKEY_HKEY_LOCAL_MACHINE},
                {L"HKU", L"HKEY_USERS", enHKEY_HKEY_USERS},
                {L"HKCC", L"HKEY_CURRENT_CONFIG", enHKEY_HKEY_CURRENT_CONFIG}};
  if (argc < 2 || argc > 3) {
    Line(L"usage: walk.exe ROOT [PATH]   (ROOT: HKCU, HKLM, HKCR, HKU, HKCC)");
    return 2;
  }
  for (const auto& root : kRoots) {
    if (_wcsicmp(argv[1], root.shortName) != 0 && _wcsicmp(argv[1], root.fullName) != 0) continue;
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    int status = Walk(root.handle, root.fullName, argc > 2 ? argv[2] : L"");
    CoUninitialize();
    return status;
  }
  Line(std::wstring(L"ERROR: unknown root key ") + argv[1]);
  return 2;
}
