#include "contract_support.h"

#include <shellapi.h>

#include <vector>

namespace contract {
namespace {

// Wine maps Unix paths to drives itself; ask it rather than assume Z:.
std::wstring windowsPath(const std::wstring& path) {
  if (path.empty() || path[0] != L'/') return path;
  using ToDos = WCHAR*(CDECL*)(const char*);
  auto toDos = reinterpret_cast<ToDos>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"),
                                             "wine_get_dos_file_name")));
  if (toDos) {
    int n = WideCharToMultiByte(CP_UTF8, 0, path.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, path.c_str(), -1, utf8.data(), n, nullptr, nullptr);
    if (WCHAR* dos = toDos(utf8.c_str())) {
      std::wstring result = dos;
      HeapFree(GetProcessHeap(), 0, dos);
      return result;
    }
  }
  std::wstring result = L"Z:" + path;
  for (wchar_t& c : result)
    if (c == L'/') c = L'\\';
  return result;
}

std::wstring findTargetPath() {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::wstring found;
  for (int i = 1; argv && i < argc; ++i) {
    if (std::wstring(argv[i]).rfind(L"--gtest", 0) == 0) continue;
    found = windowsPath(argv[i]);
    break;
  }
  LocalFree(argv);
  return found;
}

}  // namespace

const std::wstring& targetPath() {
  static const std::wstring path = findTargetPath();
  return path;
}

bool targetIsModule() {
  const std::wstring& p = targetPath();
  return p.size() > 4 && _wcsicmp(p.c_str() + p.size() - 4, L".dll") == 0;
}

std::wstring typeInfoName(ITypeInfo* t) {
  BSTR name = nullptr;
  if (FAILED(t->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr)))
    return L"<unnamed>";
  std::wstring result = name ? name : L"";
  SysFreeString(name);
  return result;
}

std::wstring typeName(ITypeInfo* context, const TYPEDESC& t) {
  switch (t.vt) {
    case VT_PTR: return typeName(context, *t.lptdesc) + L"*";
    case VT_USERDEFINED: {
      ComPtr<ITypeInfo> ref;
      if (FAILED(context->GetRefTypeInfo(t.hreftype, &ref))) return L"<bad reference>";
      return typeInfoName(ref.Get());
    }
    case VT_BSTR: return L"BSTR";
    case VT_VARIANT: return L"VARIANT";
    case VT_BOOL: return L"VARIANT_BOOL";
    case VT_I4: return L"long";
    case VT_INT: return L"int";
    case VT_HRESULT: return L"HRESULT";
    case VT_VOID: return L"void";
    case VT_DISPATCH: return L"IDispatch*";
    case VT_UNKNOWN: return L"IUnknown*";
    default: return L"vt" + std::to_wstring(t.vt);
  }
}

std::wstring paramSignature(ITypeInfo* context, const ELEMDESC& e) {
  static const struct { USHORT flag; const wchar_t* name; } kFlags[] = {
      {PARAMFLAG_FIN, L"in"},         {PARAMFLAG_FOUT, L"out"},
      {PARAMFLAG_FLCID, L"lcid"},     {PARAMFLAG_FRETVAL, L"retval"},
      {PARAMFLAG_FOPT, L"optional"},  {PARAMFLAG_FHASDEFAULT, L"defaultvalue"},
      {PARAMFLAG_FHASCUSTDATA, L"custom"},
  };
  std::wstring flags;
  for (const auto& f : kFlags)
    if (e.paramdesc.wParamFlags & f.flag) flags += (flags.empty() ? L"" : L",") + std::wstring(f.name);
  return L"[" + flags + L"] " + typeName(context, e.tdesc);
}

std::wstring invokeKindName(INVOKEKIND k) {
  switch (k) {
    case INVOKE_FUNC: return L"func";
    case INVOKE_PROPERTYGET: return L"propget";
    case INVOKE_PROPERTYPUT: return L"propput";
    case INVOKE_PROPERTYPUTREF: return L"propputref";
  }
  return L"invkind" + std::to_wstring(k);
}

std::wstring guidString(const GUID& g) {
  wchar_t buf[40] = {};
  StringFromGUID2(g, buf, 40);
  return buf;
}

}  // namespace contract
