// docs/reference.md against the type library of the built module, both ways:
// every member row (name, kind, dispatch identifier, parameters with their
// passing, names and types, result) and every enumeration constant that the
// reference lists must be in the library as written, and everything the
// library describes must be listed, in the library's order. The reference is
// embedded in this program when it is built (reference_doc.rc).
#include <gtest/gtest.h>
#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <cwctype>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "contract/interfaces.h"
#include "tests/module_path.h"

namespace contract {
namespace {

using Microsoft::WRL::ComPtr;

// Each table, by its section: rows in order, as "Class.Member kind" (or
// "enum.CONSTANT") and the rest of the row in one normal form.
struct Tables {
  std::map<std::string, std::vector<std::string>> order;
  std::map<std::string, std::string> rows;
  // The members beyond the type library: "Class.Member" and its identifier.
  std::map<std::string, DISPID> beyond;
  void Add(const std::string& section, const std::string& key, const std::string& row) {
    order[section].push_back(key);
    rows[key] = row;
  }
};

std::string Narrow(const wchar_t* text) {
  std::string s;
  for (; text && *text; ++text) s += *text < 0x80 ? static_cast<char>(*text) : '?';
  return s;
}

// Backticks, the dash for "none" and surplus spaces removed.
std::string Cell(std::string s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '`') continue;
    if (s.compare(i, 3, "\xE2\x80\x94") == 0) { i += 2; continue; }  // —
    if (s[i] == ' ' && (out.empty() || out.back() == ' ')) continue;
    out += s[i];
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string Hex(unsigned long value) {
  char text[16];
  snprintf(text, sizeof text, "0x%08lx", value);
  return text;
}

// The member tables (Member | Kind | DISPID | Parameters | Returns) and the
// constant tables (Constant | Value [| Hex]) of the reference, each under the
// "## " heading above it.
Tables ParseReference() {
  const HRSRC found = ::FindResourceW(nullptr, L"REFERENCE_MD", RT_RCDATA);
  const char* data = found ? static_cast<const char*>(::LockResource(::LoadResource(nullptr, found))) : nullptr;
  Tables doc;
  if (!data) return ADD_FAILURE() << "the reference is not embedded", doc;
  std::istringstream text(std::string(data, ::SizeofResource(nullptr, found)));
  std::string line, section, table;
  while (std::getline(text, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("## ", 0) == 0) section = Cell(line.substr(3)), table.clear();
    if (line.rfind("|", 0) != 0) { table.clear(); continue; }
    std::vector<std::string> cells;
    std::istringstream split(line.substr(1));
    for (std::string cell; std::getline(split, cell, '|');) cells.push_back(Cell(cell));
    if (table.empty()) { table = cells[0]; continue; }  // the header row
    if (cells[0].rfind("---", 0) == 0) continue;
    const bool members = table == "Member" && cells.size() == 5, constants = table == "Constant" && cells.size() >= 2;
    try {
      if (table == "Class" && cells.size() == 6) {
        doc.beyond[cells[0] + "." + cells[1]] = static_cast<DISPID>(std::stoul(cells[3], nullptr, 0));
      } else if (members) {
        const std::string id = Hex(std::stoul(cells[2], nullptr, 0));
        doc.Add(section, section + "." + cells[0] + " " + cells[1], id + " | " + cells[3] + " | " + cells[4]);
      } else if (constants) {
        const long value = std::stol(cells[1]);
        std::string row = std::to_string(value);
        // A hex column must show the same 32-bit pattern.
        if (cells.size() > 2 && std::stoul(cells[2], nullptr, 16) != static_cast<unsigned long>(value))
          row += " (hex " + cells[2] + ")";
        doc.Add(section, section + "." + cells[0], row);
      } else if (table == "Member" || table == "Constant" || table == "Class") {
        ADD_FAILURE() << "malformed row under " << section << ": " << line;
      }
    } catch (const std::exception&) {  // a number that does not parse
      ADD_FAILURE() << "malformed row under " << section << ": " << line;
    }
  }
  return doc;
}

// The name of a type the library refers to; object tells whether it is an
// interface, which the reference names by its class (_clsKey is clsKey).
std::string RefName(ITypeInfo* context, HREFTYPE href, bool& object) {
  ComPtr<ITypeInfo> ref;
  TYPEATTR* attr = nullptr;
  BSTR name = nullptr;
  if (FAILED(context->GetRefTypeInfo(href, &ref)) || FAILED(ref->GetTypeAttr(&attr))) return "?";
  object = attr->typekind == TKIND_INTERFACE || attr->typekind == TKIND_DISPATCH;
  ref->ReleaseTypeAttr(attr);
  ref->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
  std::string s = Narrow(name);
  ::SysFreeString(name);
  return object && s[0] == '_' ? s.substr(1) : s;
}

// The reference's name of a type: String, Long, Boolean, Variant, an
// enumeration by its name, an interface pointer by its class; any other
// pointer ends in "*".
std::string TypeName(ITypeInfo* context, const TYPEDESC& t) {
  bool object = false;
  switch (t.vt) {
    case VT_BSTR: return "String";
    case VT_I4: return "Long";
    case VT_BOOL: return "Boolean";
    case VT_VARIANT: return "Variant";
    case VT_USERDEFINED: return RefName(context, t.hreftype, object);
    case VT_PTR:
      if (t.lptdesc->vt != VT_USERDEFINED) return TypeName(context, *t.lptdesc) + "*";
      {
        const std::string name = RefName(context, t.lptdesc->hreftype, object);
        return object ? name : name + "*";
      }
    default: return "vt" + std::to_string(t.vt);
  }
}

// "ByRef ValueName As String": how the parameter is passed, its name when the
// library gives one, and its type.
std::string Param(ITypeInfo* context, const ELEMDESC& e, const std::string& name) {
  const TYPEDESC& t = e.tdesc;
  std::string type = TypeName(context, t), pass = "ByVal";
  if (t.vt == VT_PTR && type.back() == '*') {  // a pointer to a value, not to an object
    pass = (e.paramdesc.wParamFlags & PARAMFLAG_FOUT) ? "ByRef" : "In";
    type.pop_back();
  }
  return pass + " " + (name.empty() ? "" : name + " As ") + type;
}

// Every member of the four interfaces (their vtable side) and every constant
// of the two enumerations, in library order.
Tables ReadLibrary(ITypeLib* lib) {
  static const char* kKinds[] = {"?", "method", "get", "?", "let", "?", "?", "?", "set"};
  Tables library;
  for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
    ComPtr<ITypeInfo> listed, t;
    TYPEATTR* attr = nullptr;
    BSTR type_name = nullptr;
    HREFTYPE vtable = 0;
    if (FAILED(lib->GetTypeInfo(i, &listed)) || FAILED(listed->GetTypeAttr(&attr))) continue;
    const TYPEKIND kind = attr->typekind;
    listed->ReleaseTypeAttr(attr);
    listed->GetDocumentation(MEMBERID_NIL, &type_name, nullptr, nullptr, nullptr);
    std::string section = Narrow(type_name);
    ::SysFreeString(type_name);
    if (kind == TKIND_ENUM) {
      VARDESC* vd = nullptr;
      for (UINT n = 0; SUCCEEDED(listed->GetVarDesc(n, &vd)); ++n) {
        BSTR name = nullptr;
        UINT count = 0;
        listed->GetNames(vd->memid, &name, 1, &count);
        library.Add(section, section + "." + Narrow(name), std::to_string(V_I4(vd->lpvarValue)));
        ::SysFreeString(name);
        listed->ReleaseVarDesc(vd);
      }
      continue;
    }
    if (kind != TKIND_DISPATCH || FAILED(listed->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtable)) ||
        FAILED(listed->GetRefTypeInfo(vtable, &t)))
      continue;
    if (section[0] == '_') section.erase(0, 1);  // the default interface stands for its class
    // Wine overstates the function count of an interface with vtable gaps:
    // read until GetFuncDesc refuses.
    FUNCDESC* fd = nullptr;
    for (UINT n = 0; SUCCEEDED(t->GetFuncDesc(n, &fd)); ++n) {
      // Parameter names come by identifier, from the first function that has
      // it; that is exact here, as a property's assigned value has no name.
      BSTR names[16] = {};
      UINT count = 0;
      t->GetNames(fd->memid, names, 16, &count);
      std::string params, result;
      for (SHORT p = 0; p < fd->cParams; ++p) {
        const ELEMDESC& e = fd->lprgelemdescParam[p];
        if (e.paramdesc.wParamFlags & PARAMFLAG_FRETVAL) {
          result = TypeName(t.Get(), *e.tdesc.lptdesc);
          continue;
        }
        params += (params.empty() ? "" : ", ") +
                  Param(t.Get(), e, static_cast<UINT>(p) + 1 < count ? Narrow(names[p + 1]) : "");
      }
      const char* kind_name = fd->invkind <= 8 ? kKinds[fd->invkind] : "?";
      library.Add(section, section + "." + Narrow(names[0]) + " " + kind_name,
                  Hex(static_cast<unsigned long>(fd->memid)) + " | " + params + " | " + result);
      for (UINT k = 0; k < count; ++k) ::SysFreeString(names[k]);
      t->ReleaseFuncDesc(fd);
    }
  }
  return library;
}

TEST(ReferenceDoc, TablesMatchTheTypeLibrary) {
  ComPtr<ITypeLib> lib;
  ASSERT_EQ(::LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, &lib), S_OK);
  const Tables doc = ParseReference(), library = ReadLibrary(lib.Get());
  ASSERT_FALSE(library.rows.empty());

  for (const auto& [key, row] : doc.rows) {
    auto found = library.rows.find(key);
    if (found == library.rows.end())
      ADD_FAILURE() << key << ": in docs/reference.md, not in the type library";
    else
      EXPECT_EQ(row, found->second) << key << ": docs/reference.md (left) differs from the type library (right)";
  }
  for (const auto& [key, row] : library.rows)
    if (!doc.rows.count(key)) ADD_FAILURE() << key << ": in the type library, missing from docs/reference.md: " << row;
  for (const auto& [section, keys] : library.order)
    EXPECT_EQ(doc.order.count(section) ? doc.order.at(section) : std::vector<std::string>{}, keys)
        << "the rows of " << section << " in docs/reference.md (left) and in library order (right)";
}

// The members beyond the type library, against what the module's objects
// answer, both ways: every listed name resolves, in any letter case, to its
// identifier on its class; and every identifier in the blocks those members
// use that an object serves is listed for its class.
TEST(ReferenceDoc, MembersBeyondTheTypeLibraryMatchWhatDispatchAnswers) {
  const Tables doc = ParseReference();
  ASSERT_FALSE(doc.beyond.empty()) << "no members beyond the type library are listed";
  ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  {
    HMODULE module = ::LoadLibraryW(ModulePath().c_str());
    ASSERT_NE(module, nullptr);
    auto get_class = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
        reinterpret_cast<void*>(::GetProcAddress(module, "DllGetClassObject")));
    ASSERT_NE(get_class, nullptr);
    std::map<std::string, ComPtr<IDispatch>> objects;
    for (const auto& [name, clsid] : {std::pair<std::string, CLSID>{"clsKey", vorn::guids::CLSID_clsKey},
                                      {"clsKeys", vorn::guids::CLSID_clsKeys},
                                      {"clsValues", vorn::guids::CLSID_clsValues}}) {
      ComPtr<IClassFactory> factory;
      ASSERT_EQ(get_class(clsid, IID_IClassFactory, &factory), S_OK);
      ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, &objects[name]), S_OK);
    }
    // A record, from a scratch key with one value.
    const std::wstring path = L"Software\\VornRegistryTests\\refdoc-" + std::to_wstring(::GetCurrentProcessId());
    HKEY scratch = nullptr;
    ASSERT_EQ(::RegCreateKeyW(HKEY_CURRENT_USER, path.c_str(), &scratch), ERROR_SUCCESS);
    ::RegSetValueExW(scratch, L"v", 0, REG_SZ, reinterpret_cast<const BYTE*>(L""), sizeof(wchar_t));
    ::RegCloseKey(scratch);
    ComPtr<_clsValues> values;
    objects["clsValues"]->QueryInterface(vorn::guids::IID__clsValues, reinterpret_cast<void**>(values.GetAddressOf()));
    LONG root = static_cast<LONG>(0x80000001);
    BSTR text = ::SysAllocString(path.c_str());
    VARIANT first;
    V_VT(&first) = VT_I4, V_I4(&first) = 1;
    ComPtr<clsValue> record;
    values->put_HKEY(&root);
    values->put_Path(&text);
    EXPECT_EQ(values->get_Item(&first, &record), S_OK);
    ::SysFreeString(text);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
    if (record) record.As(&objects["clsValue"]);

    for (const auto& [member, id] : doc.beyond) {
      const std::string cls = member.substr(0, member.find('.'));
      std::wstring name(member.begin() + member.find('.') + 1, member.end());
      for (wchar_t& c : name) c = static_cast<wchar_t>(std::towlower(c));
      LPOLESTR names[] = {name.data()};
      DISPID found = DISPID_UNKNOWN;
      if (!objects.count(cls)) {
        ADD_FAILURE() << member << ": no such class";
        continue;
      }
      EXPECT_EQ(objects[cls]->GetIDsOfNames(IID_NULL, names, 1, 0, &found), S_OK) << member;
      EXPECT_EQ(found, id) << member << ": docs/reference.md lists " << Hex(static_cast<unsigned long>(id));
    }
    for (const auto& [cls, object] : objects) {
      std::set<DISPID> listed;
      for (const auto& [member, id] : doc.beyond)
        if (member.rfind(cls + ".", 0) == 0) listed.insert(id);
      for (DISPID block : {0x60100000, 0x68100000}) {
        for (DISPID id = block; id < block + 0x100; ++id) {
          DISPPARAMS none{};
          VARIANT result;
          ::VariantInit(&result);
          const HRESULT hr = object->Invoke(id, IID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none,
                                            &result, nullptr, nullptr);
          ::VariantClear(&result);
          EXPECT_EQ(hr != DISP_E_MEMBERNOTFOUND, listed.count(id) == 1)
              << cls << " and " << Hex(static_cast<unsigned long>(id)) << ": served by the module (hr "
              << Hex(static_cast<unsigned long>(hr)) << ") or listed in docs/reference.md, not both";
        }
      }
    }
    EXPECT_EQ(objects.size(), 4u) << "no record to ask";
  }
  ::CoUninitialize();
}

}  // namespace
}  // namespace contract
