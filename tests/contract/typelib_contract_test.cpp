// The published type library, as a client loads it: library attributes, the
// nine type descriptions in order, every member of the four interfaces with
// its slot, dispatch identifier, invoke kind and parameters, the two
// enumerations and the three classes.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "contract_support.h"
#include "surface/guids.h"

namespace contract {
namespace {

using namespace vorn::guids;

// LIBID of stdole2 (OLE Automation), where IDispatch must come from.
constexpr GUID kLibidStdole2 = {
    0x00020430, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// ---- Expected surface ---------------------------------------------------------

struct Param {
  const wchar_t* signature;      // flags and type, as paramSignature() renders them
  const wchar_t* name = nullptr; // checked as a named argument when given
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

constexpr INVOKEKIND kGet = INVOKE_PROPERTYGET, kLet = INVOKE_PROPERTYPUT,
                     kSet = INVOKE_PROPERTYPUTREF, kCall = INVOKE_FUNC;

// The value parameter of a property put carries no name in a type library
// (the caller passes it as DISPID_PROPERTYPUT), so lngHKEY and strPath of the
// let accessors appear here by type only.
const Param kStrIn{L"[in,out] BSTR*"};
const Param kRetBool{L"[out,retval] VARIANT_BOOL*"};
const Param kRetStr{L"[out,retval] BSTR*"};
const Param kRetHKey{L"[out,retval] enHKEY*"};
const Param kHKeyIn{L"[in,out] enHKEY*"};

const std::vector<Interface>& expectedInterfaces() {
  static const std::vector<Interface> list = {
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
  return list;
}

std::wstring render(int slot, INVOKEKIND kind, const std::wstring& name, MEMBERID id,
                    const std::vector<std::wstring>& params) {
  wchar_t head[96];
  swprintf(head, 96, L"slot %d: %ls %ls 0x%08lx (", slot, invokeKindName(kind).c_str(),
           name.c_str(), static_cast<unsigned long>(id));
  std::wstring s = head;
  for (size_t i = 0; i < params.size(); ++i) s += (i ? L", " : L"") + params[i];
  return s + L")";
}

std::wstring render(const Member& m) {
  std::vector<std::wstring> params;
  for (const Param& p : m.params) params.push_back(p.signature);
  return render(m.slot, m.kind, m.name, m.id, params);
}

// ---- Fixture --------------------------------------------------------------------

class TypeLibContract : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    loadResult_ = LoadTypeLibEx(targetPath().c_str(), REGKIND_NONE, &lib_);
  }
  static void TearDownTestSuite() { lib_.Reset(); }

  void SetUp() override {
    ASSERT_FALSE(targetPath().empty()) << "usage: contract_tests <VornRegistry.dll or .tlb>";
    ASSERT_EQ(loadResult_, S_OK) << "LoadTypeLibEx failed on the given path";
  }

  // The type info as the library lists it (for a dual interface: its
  // dispatch view).
  static ComPtr<ITypeInfo> byName(const wchar_t* name) {
    for (UINT i = 0; i < lib_->GetTypeInfoCount(); ++i) {
      ComPtr<ITypeInfo> t;
      if (SUCCEEDED(lib_->GetTypeInfo(i, &t)) && typeInfoName(t.Get()) == name) return t;
    }
    ADD_FAILURE() << "no type info named " << testing::PrintToString(std::wstring(name));
    return nullptr;
  }

  // The vtable side of a dual interface.
  static ComPtr<ITypeInfo> vtableSide(ITypeInfo* dispatch) {
    HREFTYPE href = 0;
    ComPtr<ITypeInfo> side;
    if (SUCCEEDED(dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &href)))
      dispatch->GetRefTypeInfo(href, &side);
    return side;
  }

  // Wine's dispatch view of an interface with vtable gaps overstates cFuncs,
  // so count descriptions until GetFuncDesc refuses.
  template <class F>
  static void forEachFunc(ITypeInfo* t, F f) {
    for (UINT i = 0; i < 1024; ++i) {
      FUNCDESC* fd = nullptr;
      if (FAILED(t->GetFuncDesc(i, &fd))) return;
      f(*fd);
      t->ReleaseFuncDesc(fd);
    }
  }

  static MEMBERID idOf(ITypeInfo* t, std::vector<const wchar_t*> names, std::vector<MEMBERID>* all = nullptr) {
    std::vector<MEMBERID> ids(names.size(), 12345);
    HRESULT hr = t->GetIDsOfNames(const_cast<LPOLESTR*>(names.data()),
                                  static_cast<UINT>(names.size()), ids.data());
    if (all) *all = ids;
    return FAILED(hr) ? static_cast<MEMBERID>(hr) : ids[0];
  }

  static inline ComPtr<ITypeLib> lib_;
  static inline HRESULT loadResult_ = E_FAIL;
};

// ---- Library -------------------------------------------------------------------

TEST_F(TypeLibContract, LibraryAttributes) {
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(lib_->GetLibAttr(&attr), S_OK);
  EXPECT_EQ(guidString(attr->guid), guidString(LIBID_VornRegAccLib));
  EXPECT_EQ(attr->lcid, 0x0409u);
  EXPECT_EQ(attr->syskind, SYS_WIN32);
  EXPECT_EQ(attr->wMajorVerNum, 1);
  EXPECT_EQ(attr->wMinorVerNum, 0);
  // LIBFLAG_FHASDISKIMAGE is the runtime's note that the library came from a
  // file, not a stored flag.
  EXPECT_EQ(attr->wLibFlags & ~LIBFLAG_FHASDISKIMAGE, 0);
  lib_->ReleaseTLibAttr(attr);

  BSTR name = nullptr, doc = nullptr, helpFile = nullptr;
  DWORD helpContext = 99;
  ASSERT_EQ(lib_->GetDocumentation(-1, &name, &doc, &helpContext, &helpFile), S_OK);
  EXPECT_STREQ(name, L"VornRegAccLib");
  EXPECT_STREQ(doc, L"Vorn Registry Access Library");
  EXPECT_EQ(helpContext, 0u);
  EXPECT_EQ(SysStringLen(helpFile), 0u);
  SysFreeString(name), SysFreeString(doc), SysFreeString(helpFile);
}

TEST_F(TypeLibContract, NineTypesInPublishedOrderAndFoundByGuid) {
  static const struct {
    const wchar_t* name;
    TYPEKIND kind;
    const GUID* guid;
  } kTypes[] = {
      {L"_clsValues", TKIND_DISPATCH, &IID__clsValues}, {L"clsValues", TKIND_COCLASS, &CLSID_clsValues},
      {L"_clsKeys", TKIND_DISPATCH, &IID__clsKeys},     {L"clsKeys", TKIND_COCLASS, &CLSID_clsKeys},
      {L"clsValue", TKIND_DISPATCH, &IID_clsValue},     {L"_clsKey", TKIND_DISPATCH, &IID__clsKey},
      {L"clsKey", TKIND_COCLASS, &CLSID_clsKey},        {L"enValueTypes", TKIND_ENUM, nullptr},
      {L"enHKEY", TKIND_ENUM, nullptr},
  };
  ASSERT_EQ(lib_->GetTypeInfoCount(), std::size(kTypes));
  for (UINT i = 0; i < std::size(kTypes); ++i) {
    SCOPED_TRACE(testing::Message() << "type info #" << i);
    ComPtr<ITypeInfo> t;
    ASSERT_EQ(lib_->GetTypeInfo(i, &t), S_OK);
    EXPECT_EQ(typeInfoName(t.Get()), kTypes[i].name);
    TYPEKIND kind;
    ASSERT_EQ(lib_->GetTypeInfoType(i, &kind), S_OK);
    EXPECT_EQ(kind, kTypes[i].kind);
    if (!kTypes[i].guid) continue;
    ComPtr<ITypeInfo> found;
    ASSERT_EQ(lib_->GetTypeInfoOfGuid(*kTypes[i].guid, &found), S_OK);
    EXPECT_EQ(typeInfoName(found.Get()), kTypes[i].name);
  }
  // The value record has no class entry.
  ComPtr<ITypeInfo> none;
  EXPECT_TRUE(FAILED(lib_->GetTypeInfoOfGuid(CLSID_clsValue, &none)));
}

// ---- Interfaces -------------------------------------------------------------------

TEST_F(TypeLibContract, InterfacesAreDualAndDeriveFromStdole2IDispatch) {
  for (const Interface& e : expectedInterfaces()) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(e.name)));
    ComPtr<ITypeInfo> disp = byName(e.name);
    ASSERT_TRUE(disp);
    ComPtr<ITypeInfo> vt = vtableSide(disp.Get());
    ASSERT_TRUE(vt) << "no vtable side";

    // Exactly these flags, plus dispatchable, which deriving from IDispatch
    // implies; nothing else (restricted, control, aggregatable, ...). The
    // runtime leaves oleautomation out of the dispatch view of a dual
    // interface, so that view is checked without it.
    const WORD want = TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION |
                      (e.hidden ? TYPEFLAG_FHIDDEN : 0);
    for (ITypeInfo* view : {disp.Get(), vt.Get()}) {
      TYPEATTR* a = nullptr;
      ASSERT_EQ(view->GetTypeAttr(&a), S_OK);
      const WORD ignored = TYPEFLAG_FDISPATCHABLE | (view == disp.Get() ? TYPEFLAG_FOLEAUTOMATION : 0);
      EXPECT_EQ(a->wTypeFlags & ~ignored, want & ~ignored) << "flags 0x" << std::hex << a->wTypeFlags;
      EXPECT_EQ(guidString(a->guid), guidString(e.iid));
      EXPECT_EQ(a->wMajorVerNum, 1);
      EXPECT_EQ(a->wMinorVerNum, 0);
      view->ReleaseTypeAttr(a);
    }

    TYPEATTR* a = nullptr;
    ASSERT_EQ(vt->GetTypeAttr(&a), S_OK);
    EXPECT_EQ(a->typekind, TKIND_INTERFACE);
    EXPECT_EQ(a->cImplTypes, 1);
    EXPECT_EQ(a->cbSizeVft, (e.members.back().slot + 1) * sizeof(void*));
    vt->ReleaseTypeAttr(a);

    HREFTYPE baseRef = 0;
    ComPtr<ITypeInfo> base;
    ASSERT_EQ(vt->GetRefTypeOfImplType(0, &baseRef), S_OK);
    ASSERT_EQ(vt->GetRefTypeInfo(baseRef, &base), S_OK);
    EXPECT_EQ(typeInfoName(base.Get()), L"IDispatch");
    ComPtr<ITypeLib> baseLib;
    UINT index = 0;
    ASSERT_EQ(base->GetContainingTypeLib(&baseLib, &index), S_OK);
    TLIBATTR* la = nullptr;
    ASSERT_EQ(baseLib->GetLibAttr(&la), S_OK);
    EXPECT_EQ(guidString(la->guid), guidString(kLibidStdole2));
    EXPECT_EQ(la->wMajorVerNum, 2);
    baseLib->ReleaseTLibAttr(la);

    BSTR doc = nullptr;
    DWORD help = 99;
    ASSERT_EQ(disp->GetDocumentation(MEMBERID_NIL, nullptr, &doc, &help, nullptr), S_OK);
    EXPECT_EQ(SysStringLen(doc), 0u);
    EXPECT_EQ(help, 0u);
    SysFreeString(doc);
  }
}

TEST_F(TypeLibContract, InterfaceMembersMatchThePublishedSlots) {
  for (const Interface& e : expectedInterfaces()) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(e.name)));
    ComPtr<ITypeInfo> disp = byName(e.name);
    ASSERT_TRUE(disp);
    ComPtr<ITypeInfo> vt = vtableSide(disp.Get());
    ASSERT_TRUE(vt);

    std::vector<std::wstring> actual;
    forEachFunc(vt.Get(), [&](const FUNCDESC& fd) {
      BSTR name = nullptr, doc = nullptr;
      DWORD help = 99;
      vt->GetDocumentation(fd.memid, &name, &doc, &help, nullptr);
      std::vector<std::wstring> params;
      for (SHORT i = 0; i < fd.cParams; ++i)
        params.push_back(paramSignature(vt.Get(), fd.lprgelemdescParam[i]));
      actual.push_back(render(fd.oVft / static_cast<int>(sizeof(void*)), fd.invkind,
                              name ? name : L"", fd.memid, params));
      SCOPED_TRACE(testing::PrintToString(actual.back()));
      EXPECT_EQ(fd.oVft % sizeof(void*), 0u);
      EXPECT_EQ(fd.funckind, FUNC_PUREVIRTUAL);
      EXPECT_EQ(fd.callconv, CC_STDCALL);
      EXPECT_EQ(fd.elemdescFunc.tdesc.vt, VT_HRESULT);
      EXPECT_EQ(fd.cParamsOpt, 0);
      EXPECT_EQ(fd.wFuncFlags, 0) << "restricted, hidden, source, ...";
      EXPECT_EQ(SysStringLen(doc), 0u);
      EXPECT_EQ(help, 0u);
      SysFreeString(name), SysFreeString(doc);
    });

    ASSERT_EQ(actual.size(), e.members.size());
    for (size_t i = 0; i < actual.size(); ++i) EXPECT_EQ(actual[i], render(e.members[i]));
  }
}

// What a late-bound client sees: names resolve to the published identifiers
// (HKEY differs by class) and parameter names resolve as named arguments.
TEST_F(TypeLibContract, NamesResolveToPublishedDispatchIdentifiers) {
  for (const Interface& e : expectedInterfaces()) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(e.name)));
    ComPtr<ITypeInfo> disp = byName(e.name);
    ASSERT_TRUE(disp);
    for (const Member& m : e.members) {
      SCOPED_TRACE(testing::PrintToString(render(m)));
      std::vector<const wchar_t*> names{m.name};
      for (const Param& p : m.params)
        if (p.name) names.push_back(p.name);
      std::vector<MEMBERID> ids;
      EXPECT_EQ(idOf(disp.Get(), names, &ids), m.id);
      for (size_t i = 1; i < names.size(); ++i) EXPECT_EQ(ids[i], static_cast<MEMBERID>(i - 1));
    }
  }
}

// Collections cannot be walked by for-each: no member anywhere carries the
// enumerator identifier, on either view.
TEST_F(TypeLibContract, NoMemberIsAnEnumerator) {
  for (const Interface& e : expectedInterfaces()) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(e.name)));
    ComPtr<ITypeInfo> disp = byName(e.name);
    ASSERT_TRUE(disp);
    ComPtr<ITypeInfo> vt = vtableSide(disp.Get());
    for (ITypeInfo* view : {disp.Get(), vt.Get()})
      forEachFunc(view, [](const FUNCDESC& fd) { EXPECT_NE(fd.memid, DISPID_NEWENUM); });
    EXPECT_TRUE(FAILED(idOf(disp.Get(), {L"_NewEnum"})));
  }
}

// ---- Classes and enumerations -------------------------------------------------------

TEST_F(TypeLibContract, ClassesAreCreatableWithOneDefaultInterface) {
  static const struct {
    const wchar_t* name;
    GUID clsid;
    const wchar_t* defaultInterface;
  } kClasses[] = {
      {L"clsValues", CLSID_clsValues, L"_clsValues"},
      {L"clsKeys", CLSID_clsKeys, L"_clsKeys"},
      {L"clsKey", CLSID_clsKey, L"_clsKey"},
  };
  for (const auto& c : kClasses) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
    ComPtr<ITypeInfo> t = byName(c.name);
    ASSERT_TRUE(t);
    TYPEATTR* a = nullptr;
    ASSERT_EQ(t->GetTypeAttr(&a), S_OK);
    EXPECT_EQ(a->typekind, TKIND_COCLASS);
    EXPECT_EQ(guidString(a->guid), guidString(c.clsid));
    EXPECT_EQ(a->wTypeFlags, TYPEFLAG_FCANCREATE) << "only creatable, nothing else";
    EXPECT_EQ(a->wMajorVerNum, 1);
    EXPECT_EQ(a->wMinorVerNum, 0);
    EXPECT_EQ(a->cImplTypes, 1);
    t->ReleaseTypeAttr(a);

    INT implFlags = -1;
    ASSERT_EQ(t->GetImplTypeFlags(0, &implFlags), S_OK);
    EXPECT_EQ(implFlags, IMPLTYPEFLAG_FDEFAULT);
    HREFTYPE href = 0;
    ComPtr<ITypeInfo> itf;
    ASSERT_EQ(t->GetRefTypeOfImplType(0, &href), S_OK);
    ASSERT_EQ(t->GetRefTypeInfo(href, &itf), S_OK);
    EXPECT_EQ(typeInfoName(itf.Get()), c.defaultInterface);
  }
}

TEST_F(TypeLibContract, EnumerationConstantsInOrderWithTheirNamesAsDocStrings) {
  static const struct {
    const wchar_t* name;
    std::vector<std::pair<std::wstring, LONG>> constants;
  } kEnums[] = {
      {L"enValueTypes",
       {{L"REG_BINARY", 3}, {L"REG_DWORD", 4}, {L"REG_DWORD_BIG_ENDIAN", 5},
        {L"REG_DWORD_LITTLE_ENDIAN", 4}, {L"REG_EXPAND_SZ", 2}, {L"REG_LINK", 6},
        {L"REG_MULTI_SZ", 7}, {L"REG_NONE", 0}, {L"REG_RESOURCE_LIST", 8}, {L"REG_SZ", 1}}},
      {L"enHKEY",
       {{L"HKEY_LOCAL_MACHINE", -2147483646}, {L"HKEY_USERS", -2147483645},
        {L"HKEY_CURRENT_CONFIG", -2147483643}, {L"HKEY_DYN_DATA", -2147483642},
        {L"HKEY_CURRENT_USER", -2147483647}, {L"HKEY_CLASSES_ROOT", -2147483647 - 1}}},
  };
  for (const auto& en : kEnums) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(en.name)));
    ComPtr<ITypeInfo> t = byName(en.name);
    ASSERT_TRUE(t);
    TYPEATTR* a = nullptr;
    ASSERT_EQ(t->GetTypeAttr(&a), S_OK);
    EXPECT_EQ(a->typekind, TKIND_ENUM);
    const UINT count = a->cVars;
    t->ReleaseTypeAttr(a);
    ASSERT_EQ(count, en.constants.size());

    std::set<MEMBERID> ids;
    for (UINT i = 0; i < count; ++i) {
      VARDESC* vd = nullptr;
      ASSERT_EQ(t->GetVarDesc(i, &vd), S_OK);
      BSTR name = nullptr, doc = nullptr;
      t->GetDocumentation(vd->memid, &name, &doc, nullptr, nullptr);
      EXPECT_EQ(std::wstring(name ? name : L""), en.constants[i].first) << "#" << i;
      EXPECT_EQ(std::wstring(doc ? doc : L""), en.constants[i].first) << "#" << i;
      EXPECT_EQ(vd->varkind, VAR_CONST);
      EXPECT_EQ(vd->elemdescVar.tdesc.vt, VT_I4);
      ASSERT_EQ(V_VT(vd->lpvarValue), VT_I4);
      EXPECT_EQ(V_I4(vd->lpvarValue), en.constants[i].second) << en.constants[i].first;
      ids.insert(vd->memid);
      SysFreeString(name), SysFreeString(doc);
      t->ReleaseVarDesc(vd);
    }
    EXPECT_EQ(ids.size(), count) << "each constant needs an identifier of its own";
  }
}

}  // namespace
}  // namespace contract
