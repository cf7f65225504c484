// The published type library, loaded from the built module as a client loads
// it: library attributes, the nine type descriptions in order, every member
// of the four interfaces with its slot, dispatch identifier, invoke kind and
// parameters, the two enumerations and the three classes.
#include <gtest/gtest.h>
#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <set>
#include <string>
#include <vector>

#include "contract/guids.h"
#include "tests/module_path.h"

namespace contract {
namespace {

using Microsoft::WRL::ComPtr;
using namespace vorn::guids;

// ---- Expected surface ---------------------------------------------------------

struct Param {
  const wchar_t* signature;       // flags and type, as Signature() renders them
  const wchar_t* name = nullptr;  // checked as a named argument when given
};
struct Member {
  int slot;
  INVOKEKIND kind;
  const wchar_t* name;
  MEMBERID id;
  std::vector<Param> params;
};
struct Interface {
  const wchar_t* name;
  GUID iid;
  bool hidden;
  std::vector<Member> members;
};

constexpr INVOKEKIND kGet = INVOKE_PROPERTYGET, kLet = INVOKE_PROPERTYPUT, kSet = INVOKE_PROPERTYPUTREF,
                     kCall = INVOKE_FUNC;

// The value parameter of a property put carries no name in a type library
// (the caller passes it as DISPID_PROPERTYPUT), so lngHKEY and strPath of the
// let accessors appear here by type only.
const Param kStrIn{L"[in,out] BSTR*"};
const Param kRetBool{L"[out,retval] VARIANT_BOOL*"};
const Param kRetStr{L"[out,retval] BSTR*"};
const Param kRetHKey{L"[out,retval] enHKEY*"};
const Param kHKeyIn{L"[in,out] enHKEY*"};

const std::vector<Interface> kInterfaces = {
    {L"_clsValues", IID__clsValues, true, {
         {7, kGet, L"ValueExists", 0x68030003, {{L"[in,out] BSTR*", L"ValueName"}, kRetBool}},
         {8, kGet, L"Item", 0, {{L"[in,out] VARIANT*", L"Index"}, {L"[out,retval] clsValue**"}}},
         {9, kGet, L"Count", 0x68030002, {{L"[out,retval] long*"}}},
         {10, kCall, L"Add", 0x60030004,
          {{L"[in,out] BSTR*", L"ValueName"}, {L"[in,out] VARIANT*", L"Value"},
           {L"[in,out] enValueTypes*", L"ValueType"}, kRetBool}},
         {11, kCall, L"Delete", 0x60030005, {{L"[in,out] BSTR*", L"ValueName"}, kRetBool}},
         {12, kGet, L"Path", 0x68030001, {kRetStr}},
         {13, kLet, L"Path", 0x68030001, {kStrIn}},
         {14, kGet, L"HKEY", 0x68030000, {kRetHKey}},
         {15, kLet, L"HKEY", 0x68030000, {kHKeyIn}},
         {16, kCall, L"Refresh", 0x60030006, {}},
     }},
    {L"_clsKeys", IID__clsKeys, true, {
         {7, kGet, L"KeyExists", 0x68030003, {{L"[in,out] BSTR*", L"KeyName"}, kRetBool}},
         {8, kGet, L"Count", 0x68030002, {{L"[out,retval] long*"}}},
         {9, kGet, L"Item", 0, {{L"[in,out] VARIANT*", L"Index"}, {L"[out,retval] _clsKey**"}}},
         {10, kGet, L"HKEY", 0x68030001, {kRetHKey}},
         {11, kLet, L"HKEY", 0x68030001, {kHKeyIn}},
         {12, kGet, L"Path", 0x68030000, {kRetStr}},
         {13, kLet, L"Path", 0x68030000, {kStrIn}},
         {14, kCall, L"Refresh", 0x60030004, {}},
         {15, kCall, L"Add", 0x60030006, {{L"[in,out] BSTR*", L"KeyName"}, kRetBool}},
         {16, kCall, L"Delete", 0x60030007, {{L"[in,out] BSTR*", L"KeyName"}, kRetBool}},
     }},
    {L"clsValue", IID_clsValue, false, {
         {7, kGet, L"Name", 0x40030000, {kRetStr}},
         {8, kLet, L"Name", 0x40030000, {{L"[in] BSTR"}}},
         {9, kGet, L"Value", 0x40030001, {{L"[out,retval] VARIANT*"}}},
         {10, kLet, L"Value", 0x40030001, {{L"[in] VARIANT*"}}},
         {11, kSet, L"Value", 0x40030001, {{L"[in] VARIANT*"}}},
         {12, kGet, L"ValueType", 0x40030002, {{L"[out,retval] enValueTypes*"}}},
         {13, kLet, L"ValueType", 0x40030002, {{L"[in] enValueTypes"}}},
     }},
    // Slots 8 and 11 exist in the vtable but are not described.
    {L"_clsKey", IID__clsKey, true, {
         {7, kGet, L"Values", 0x40030003, {{L"[out,retval] _clsValues**"}}},
         {9, kSet, L"Values", 0x40030003, {{L"[in] _clsValues*"}}},
         {10, kGet, L"SubKeys", 0x40030004, {{L"[out,retval] _clsKeys**"}}},
         {12, kSet, L"SubKeys", 0x40030004, {{L"[in] _clsKeys*"}}},
         {13, kGet, L"Exists", 0x68030003, {kRetBool}},
         {14, kGet, L"HKEY", 0x68030002, {kRetHKey}},
         {15, kLet, L"HKEY", 0x68030002, {kHKeyIn}},
         {16, kGet, L"Path", 0x68030001, {kRetStr}},
         {17, kLet, L"Path", 0x68030001, {kStrIn}},
         {18, kCall, L"Refresh", 0x60030004, {}},
         {19, kGet, L"Name", 0x68030000, {kRetStr}},
     }},
};

// ---- Reading the library --------------------------------------------------------

std::wstring G(const GUID& guid) { wchar_t text[40] = {}; return ::StringFromGUID2(guid, text, 40), text; }
std::wstring Take(BSTR b) { std::wstring s = b ? b : L""; return ::SysFreeString(b), s; }

// Name, doc string and help context of a type (MEMBERID_NIL) or member.
struct Doc { std::wstring name, doc; DWORD help = 99; };
Doc DocOf(ITypeInfo* t, MEMBERID id = MEMBERID_NIL) {
  BSTR name = nullptr, doc = nullptr;
  Doc d;
  t->GetDocumentation(id, &name, &doc, &d.help, nullptr);
  return d.name = Take(name), d.doc = Take(doc), d;
}

// A copy of the type attributes (their scalar fields stay valid).
TYPEATTR AttrOf(ITypeInfo* t) {
  TYPEATTR *a = nullptr, copy = {};
  if (SUCCEEDED(t->GetTypeAttr(&a))) copy = *a, t->ReleaseTypeAttr(a);
  return copy;
}

// "BSTR", "VARIANT*", "_clsKey**": pointer levels as stars, user-defined types by name.
std::wstring TypeName(ITypeInfo* context, const TYPEDESC& t) {
  ComPtr<ITypeInfo> ref;
  switch (t.vt) {
    case VT_PTR: return TypeName(context, *t.lptdesc) + L"*";
    case VT_USERDEFINED: return SUCCEEDED(context->GetRefTypeInfo(t.hreftype, &ref)) ? DocOf(ref.Get()).name : L"?";
    case VT_BSTR: return L"BSTR";
    case VT_VARIANT: return L"VARIANT";
    case VT_BOOL: return L"VARIANT_BOOL";
    case VT_I4: return L"long";
    default: return L"vt" + std::to_wstring(t.vt);
  }
}

// "[in,out] BSTR*": the parameter's flags, then its type.
std::wstring Signature(ITypeInfo* context, const ELEMDESC& e) {
  std::wstring flags;
  for (auto [flag, name] : {std::pair{PARAMFLAG_FIN, L"in"}, {PARAMFLAG_FOUT, L"out"}, {PARAMFLAG_FLCID, L"lcid"},
                            {PARAMFLAG_FRETVAL, L"retval"}, {PARAMFLAG_FOPT, L"optional"},
                            {PARAMFLAG_FHASDEFAULT, L"defaultvalue"}, {PARAMFLAG_FHASCUSTDATA, L"custom"}})
    if (e.paramdesc.wParamFlags & flag) flags += (flags.empty() ? L"" : L",") + std::wstring(name);
  return L"[" + flags + L"] " + TypeName(context, e.tdesc);
}

// "slot 7: propget ValueExists 0x68030003 ([in,out] BSTR*, ...)"
std::wstring Render(int slot, INVOKEKIND kind, const std::wstring& name, MEMBERID id,
                    const std::vector<std::wstring>& params) {
  const wchar_t* kinds[] = {L"?", L"func", L"propget", L"?", L"propput", L"?", L"?", L"?", L"propputref"};
  wchar_t head[96];
  swprintf(head, 96, L"slot %d: %ls %ls 0x%08lx (", slot, kinds[kind <= 8 ? kind : 0], name.c_str(),
           static_cast<unsigned long>(id));
  std::wstring s = head;
  for (size_t i = 0; i < params.size(); ++i) s += (i ? L", " : L"") + params[i];
  return s + L")";
}

// Every function description of a type info. Wine's dispatch view of an
// interface with vtable gaps overstates cFuncs, so read until GetFuncDesc refuses.
template <class F>
void ForEachFunc(ITypeInfo* t, F f) {
  FUNCDESC* fd = nullptr;
  for (UINT i = 0; SUCCEEDED(t->GetFuncDesc(i, &fd)); ++i) f(*fd), t->ReleaseFuncDesc(fd);
}

class TypeLibContract : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ::LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, &lib_); }
  static void TearDownTestSuite() { lib_.Reset(); }
  void SetUp() override { ASSERT_TRUE(lib_) << "no type library in " << testing::PrintToString(ModulePath()); }

  // The type info as the library lists it (for a dual interface: its dispatch view).
  static ComPtr<ITypeInfo> ByName(const std::wstring& name) {
    ComPtr<ITypeInfo> t;
    for (UINT i = 0; i < lib_->GetTypeInfoCount(); ++i)
      if (SUCCEEDED(lib_->GetTypeInfo(i, &t)) && DocOf(t.Get()).name == name) return t;
    ADD_FAILURE() << "no type info named " << testing::PrintToString(name);
    return nullptr;
  }
  // A type info's reference by implemented-type index (-1: the vtable side of a dual interface).
  static ComPtr<ITypeInfo> Implemented(ITypeInfo* t, UINT index) {
    HREFTYPE href = 0;
    ComPtr<ITypeInfo> ref;
    if (SUCCEEDED(t->GetRefTypeOfImplType(index, &href))) t->GetRefTypeInfo(href, &ref);
    return ref;
  }

  static inline ComPtr<ITypeLib> lib_;
};

TEST_F(TypeLibContract, LibraryAttributes) {
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(lib_->GetLibAttr(&attr), S_OK);
  EXPECT_EQ(G(attr->guid), G(LIBID_VornRegAccLib));
  EXPECT_EQ(attr->lcid, 0x0409u);
  EXPECT_EQ(attr->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
  EXPECT_EQ(attr->wMajorVerNum, 1);
  EXPECT_EQ(attr->wMinorVerNum, 0);
  // LIBFLAG_FHASDISKIMAGE is the runtime's note that the library came from a
  // file, not a stored flag.
  EXPECT_EQ(attr->wLibFlags & ~LIBFLAG_FHASDISKIMAGE, 0);
  lib_->ReleaseTLibAttr(attr);

  BSTR name = nullptr, doc = nullptr, help_file = nullptr;
  DWORD help = 99;
  ASSERT_EQ(lib_->GetDocumentation(-1, &name, &doc, &help, &help_file), S_OK);
  EXPECT_EQ(Take(name), L"VornRegAccLib");
  EXPECT_EQ(Take(doc), L"Vorn Registry Access Library");
  EXPECT_EQ(Take(help_file), L"");
  EXPECT_EQ(help, 0u);
}

TEST_F(TypeLibContract, NineTypesInPublishedOrderAndFoundByGuid) {
  const struct { const wchar_t* name; TYPEKIND kind; const GUID* guid; } types[] = {
      {L"_clsValues", TKIND_DISPATCH, &IID__clsValues}, {L"clsValues", TKIND_COCLASS, &CLSID_clsValues},
      {L"_clsKeys", TKIND_DISPATCH, &IID__clsKeys},     {L"clsKeys", TKIND_COCLASS, &CLSID_clsKeys},
      {L"clsValue", TKIND_DISPATCH, &IID_clsValue},     {L"_clsKey", TKIND_DISPATCH, &IID__clsKey},
      {L"clsKey", TKIND_COCLASS, &CLSID_clsKey},        {L"enValueTypes", TKIND_ENUM, nullptr},
      {L"enHKEY", TKIND_ENUM, nullptr},
  };
  ASSERT_EQ(lib_->GetTypeInfoCount(), std::size(types));
  for (UINT i = 0; i < std::size(types); ++i) {
    ComPtr<ITypeInfo> t, found;
    TYPEKIND kind;
    ASSERT_EQ(lib_->GetTypeInfo(i, &t), S_OK);
    ASSERT_EQ(lib_->GetTypeInfoType(i, &kind), S_OK);
    EXPECT_EQ(DocOf(t.Get()).name, types[i].name) << "#" << i;
    EXPECT_EQ(kind, types[i].kind) << "#" << i;
    if (!types[i].guid) continue;
    ASSERT_EQ(lib_->GetTypeInfoOfGuid(*types[i].guid, &found), S_OK) << "#" << i;
    EXPECT_EQ(DocOf(found.Get()).name, types[i].name) << "found by its GUID";
  }
  ComPtr<ITypeInfo> none;
  EXPECT_TRUE(FAILED(lib_->GetTypeInfoOfGuid(CLSID_clsValue, &none))) << "the value record has no class entry";
}

TEST_F(TypeLibContract, InterfacesAreDualAndDeriveFromStdole2IDispatch) {
  for (const Interface& e : kInterfaces) {
    SCOPED_TRACE(testing::PrintToString(e.name));
    ComPtr<ITypeInfo> disp = ByName(e.name), vt = disp ? Implemented(disp.Get(), -1) : nullptr;
    ASSERT_TRUE(vt) << "no vtable side";
    // Exactly these flags, plus dispatchable, which deriving from IDispatch
    // implies; nothing else (restricted, control, aggregatable, ...). The
    // runtime leaves oleautomation out of the dispatch view of a dual
    // interface, so that view is checked without it.
    const WORD want =
        TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION | (e.hidden ? TYPEFLAG_FHIDDEN : 0);
    for (ITypeInfo* view : {disp.Get(), vt.Get()}) {
      const TYPEATTR a = AttrOf(view);
      const WORD ignored = TYPEFLAG_FDISPATCHABLE | (view == disp.Get() ? TYPEFLAG_FOLEAUTOMATION : 0);
      EXPECT_EQ(a.wTypeFlags & ~ignored, want & ~ignored) << "flags 0x" << std::hex << a.wTypeFlags;
      EXPECT_EQ(G(a.guid), G(e.iid));
      EXPECT_EQ(a.wMajorVerNum * 100 + a.wMinorVerNum, 100) << "version 1.0";
    }
    const TYPEATTR a = AttrOf(vt.Get());
    EXPECT_EQ(a.typekind, TKIND_INTERFACE);
    EXPECT_EQ(a.cImplTypes, 1);
    EXPECT_EQ(a.cbSizeVft, (e.members.back().slot + 1) * sizeof(void*));

    ComPtr<ITypeInfo> base = Implemented(vt.Get(), 0);
    ComPtr<ITypeLib> base_lib;
    UINT index = 0;
    TLIBATTR* la = nullptr;
    ASSERT_TRUE(base && SUCCEEDED(base->GetContainingTypeLib(&base_lib, &index)));
    ASSERT_EQ(base_lib->GetLibAttr(&la), S_OK);
    EXPECT_EQ(DocOf(base.Get()).name, L"IDispatch");
    EXPECT_EQ(G(la->guid), L"{00020430-0000-0000-C000-000000000046}") << "stdole2";
    EXPECT_EQ(la->wMajorVerNum, 2);
    base_lib->ReleaseTLibAttr(la);
    EXPECT_EQ(DocOf(disp.Get()).doc, L"");
    EXPECT_EQ(DocOf(disp.Get()).help, 0u);
  }
}

// Each member, read from the vtable side, matches its row of the table; what
// a late-bound client sees matches too: names resolve to the published
// identifiers (HKEY differs by class) and parameter names to named
// arguments. Collections cannot be walked by for-each: no member on either
// view carries the enumerator identifier.
TEST_F(TypeLibContract, MembersMatchThePublishedTable) {
  for (const Interface& e : kInterfaces) {
    SCOPED_TRACE(testing::PrintToString(e.name));
    ComPtr<ITypeInfo> disp = ByName(e.name), vt = disp ? Implemented(disp.Get(), -1) : nullptr;
    ASSERT_TRUE(vt);
    std::vector<std::wstring> actual;
    ForEachFunc(vt.Get(), [&](const FUNCDESC& fd) {
      std::vector<std::wstring> params;
      for (SHORT i = 0; i < fd.cParams; ++i) params.push_back(Signature(vt.Get(), fd.lprgelemdescParam[i]));
      const Doc doc = DocOf(vt.Get(), fd.memid);
      actual.push_back(Render(fd.oVft / sizeof(void*), fd.invkind, doc.name, fd.memid, params));
      SCOPED_TRACE(testing::PrintToString(actual.back()));
      EXPECT_EQ(fd.oVft % sizeof(void*), 0u);
      EXPECT_EQ(fd.funckind, FUNC_PUREVIRTUAL);
      EXPECT_EQ(fd.callconv, CC_STDCALL);
      EXPECT_EQ(fd.elemdescFunc.tdesc.vt, VT_HRESULT);
      EXPECT_EQ(fd.cParamsOpt, 0);
      EXPECT_EQ(fd.wFuncFlags, 0) << "restricted, hidden, source, ...";
      EXPECT_EQ(doc.doc, L"");
      EXPECT_EQ(doc.help, 0u);
    });
    ASSERT_EQ(actual.size(), e.members.size());
    for (size_t i = 0; i < actual.size(); ++i) {
      const Member& m = e.members[i];
      std::vector<std::wstring> params;
      std::vector<LPOLESTR> names{const_cast<LPOLESTR>(m.name)};
      for (const Param& p : m.params) {
        params.push_back(p.signature);
        if (p.name) names.push_back(const_cast<LPOLESTR>(p.name));
      }
      std::vector<MEMBERID> ids(names.size(), 12345), want_ids{m.id};
      for (size_t n = 1; n < names.size(); ++n) want_ids.push_back(static_cast<MEMBERID>(n - 1));
      EXPECT_EQ(actual[i], Render(m.slot, m.kind, m.name, m.id, params));
      EXPECT_EQ(disp->GetIDsOfNames(names.data(), static_cast<UINT>(names.size()), ids.data()), S_OK) << m.name;
      EXPECT_EQ(ids, want_ids) << m.name;
    }
    for (ITypeInfo* view : {disp.Get(), vt.Get()})
      ForEachFunc(view, [](const FUNCDESC& fd) { EXPECT_NE(fd.memid, DISPID_NEWENUM); });
    LPOLESTR new_enum = const_cast<LPOLESTR>(L"_NewEnum");
    MEMBERID id = 0;
    EXPECT_TRUE(FAILED(disp->GetIDsOfNames(&new_enum, 1, &id)));
  }
}

TEST_F(TypeLibContract, ClassesAreCreatableWithOneDefaultInterface) {
  const std::pair<const wchar_t*, GUID> classes[] = {
      {L"clsValues", CLSID_clsValues}, {L"clsKeys", CLSID_clsKeys}, {L"clsKey", CLSID_clsKey}};
  for (const auto& [name, clsid] : classes) {
    SCOPED_TRACE(testing::PrintToString(name));
    ComPtr<ITypeInfo> t = ByName(name);
    ASSERT_TRUE(t);
    const TYPEATTR a = AttrOf(t.Get());
    INT impl_flags = -1;
    EXPECT_EQ(a.typekind, TKIND_COCLASS);
    EXPECT_EQ(G(a.guid), G(clsid));
    EXPECT_EQ(a.wTypeFlags, TYPEFLAG_FCANCREATE) << "only creatable, nothing else";
    EXPECT_EQ(a.wMajorVerNum * 100 + a.wMinorVerNum, 100) << "version 1.0";
    EXPECT_EQ(a.cImplTypes, 1);
    EXPECT_EQ(t->GetImplTypeFlags(0, &impl_flags), S_OK);
    EXPECT_EQ(impl_flags, IMPLTYPEFLAG_FDEFAULT);
    ComPtr<ITypeInfo> itf = Implemented(t.Get(), 0);
    EXPECT_EQ(itf ? DocOf(itf.Get()).name : L"", L"_" + std::wstring(name));
  }
}

TEST_F(TypeLibContract, EnumerationConstantsInOrderWithTheirNamesAsDocStrings) {
  const std::pair<const wchar_t*, std::vector<std::pair<std::wstring, LONG>>> enums[] = {
      {L"enValueTypes",
       {{L"REG_BINARY", 3}, {L"REG_DWORD", 4}, {L"REG_DWORD_BIG_ENDIAN", 5}, {L"REG_DWORD_LITTLE_ENDIAN", 4},
        {L"REG_EXPAND_SZ", 2}, {L"REG_LINK", 6}, {L"REG_MULTI_SZ", 7}, {L"REG_NONE", 0},
        {L"REG_RESOURCE_LIST", 8}, {L"REG_SZ", 1}}},
      {L"enHKEY",
       {{L"HKEY_LOCAL_MACHINE", -2147483646}, {L"HKEY_USERS", -2147483645}, {L"HKEY_CURRENT_CONFIG", -2147483643},
        {L"HKEY_DYN_DATA", -2147483642}, {L"HKEY_CURRENT_USER", -2147483647},
        {L"HKEY_CLASSES_ROOT", -2147483647 - 1}}},
  };
  for (const auto& [name, constants] : enums) {
    SCOPED_TRACE(testing::PrintToString(name));
    ComPtr<ITypeInfo> t = ByName(name);
    ASSERT_TRUE(t);
    const TYPEATTR a = AttrOf(t.Get());
    EXPECT_EQ(a.typekind, TKIND_ENUM);
    ASSERT_EQ(a.cVars, constants.size());
    std::set<MEMBERID> ids;
    for (UINT i = 0; i < a.cVars; ++i) {
      VARDESC* vd = nullptr;
      ASSERT_EQ(t->GetVarDesc(i, &vd), S_OK);
      const Doc doc = DocOf(t.Get(), vd->memid);
      const auto& [constant, value] = constants[i];
      EXPECT_EQ(doc.name, constant) << "#" << i;
      EXPECT_EQ(doc.doc, constant) << "#" << i;
      EXPECT_EQ(vd->varkind, VAR_CONST);
      EXPECT_EQ(vd->elemdescVar.tdesc.vt, VT_I4);
      EXPECT_TRUE(V_VT(vd->lpvarValue) == VT_I4 && V_I4(vd->lpvarValue) == value) << constant;
      ids.insert(vd->memid);
      t->ReleaseVarDesc(vd);
    }
    EXPECT_EQ(ids.size(), a.cVars) << "each constant needs an identifier of its own";
  }
}

}  // namespace
}  // namespace contract
