// typelib_gen: writes the component's type library, VornRegAccLib.tlb.
//
// Usage: typelib_gen <output.tlb>
//
// The library is written with the automation runtime's own writer
// (CreateTypeLib2), because it needs three things that an IDL compiler does
// not give us: vtable slots of _clsKey that are left out of the library while
// every later member keeps its slot number, doc strings on enumeration
// constants, and the type descriptions in exactly the published order even
// where an earlier type refers to a later one.
//
// All type infos are created first, in library order, so that references
// between them (a result of type _clsKey in _clsKeys, say) can be made while
// they are filled. Every member carries its vtable offset explicitly.

#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include "contract/guids.h"
#include "contract/interfaces.h"

namespace {

using namespace vorn::guids;

// ---- Small helpers ----------------------------------------------------------

struct HrError : std::runtime_error {
  HRESULT hr;
  HrError(const std::string& what, HRESULT h) : std::runtime_error(what), hr(h) {}
};

void check(HRESULT hr, const std::string& what) {
  if (FAILED(hr)) throw HrError(what, hr);
}

std::string narrow(const wchar_t* s) {
  std::string out;
  for (; s && *s; ++s) out += (*s < 0x80) ? static_cast<char>(*s) : '?';
  return out;
}

// Owns one COM reference.
template <class T>
class Ref {
 public:
  Ref() = default;
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() {
    if (p_) p_->Release();
  }
  T** put() { return &p_; }
  T* get() const { return p_; }
  T* operator->() const { return p_; }

 private:
  T* p_ = nullptr;
};

// ---- What the library contains -----------------------------------------------

// The nine type descriptions, in the order in which the library lists them.
enum TypeIndex {
  kValuesItf,   // _clsValues
  kValuesCls,   // clsValues
  kKeysItf,     // _clsKeys
  kKeysCls,     // clsKeys
  kValueItf,    // clsValue
  kKeyItf,      // _clsKey
  kKeyCls,      // clsKey
  kValueTypes,  // enValueTypes
  kHKey,        // enHKEY
  kTypeCount
};

struct TypeEntry {
  const wchar_t* name;
  TYPEKIND kind;
  const GUID* guid;  // enumerations have none
};

const TypeEntry kTypes[kTypeCount] = {
    {L"_clsValues", TKIND_INTERFACE, &IID__clsValues},
    {L"clsValues", TKIND_COCLASS, &CLSID_clsValues},
    {L"_clsKeys", TKIND_INTERFACE, &IID__clsKeys},
    {L"clsKeys", TKIND_COCLASS, &CLSID_clsKeys},
    {L"clsValue", TKIND_INTERFACE, &IID_clsValue},
    {L"_clsKey", TKIND_INTERFACE, &IID__clsKey},
    {L"clsKey", TKIND_COCLASS, &CLSID_clsKey},
    {L"enValueTypes", TKIND_ENUM, nullptr},
    {L"enHKEY", TKIND_ENUM, nullptr},
};

// A parameter or result type: an automation base type, or one of the
// library's own types. An interface type stands for an interface pointer.
struct Type {
  VARTYPE vt;
  int ref;  // index into kTypes when vt == VT_USERDEFINED
};
constexpr Type kNone{VT_EMPTY, -1};
constexpr Type kBstr{VT_BSTR, -1};
constexpr Type kVariant{VT_VARIANT, -1};
constexpr Type kBool{VT_BOOL, -1};
constexpr Type kLong{VT_I4, -1};
constexpr Type own(int index) { return {VT_USERDEFINED, index}; }

enum class Pass {
  ByRef,  // pointer to the caller's variable, [in, out]
  ByVal,  // the value itself, [in]
  InPtr,  // pointer to the value, [in] only (the variant field accessors)
};

struct Param {
  const wchar_t* name;  // nullptr: unnamed
  Type type;
  Pass pass;
};

struct Member {
  int slot;
  const wchar_t* name;
  INVOKEKIND kind;
  MEMBERID id;
  std::vector<Param> params;
  Type result;  // kNone: no [out, retval] parameter
};

struct Interface {
  int type;
  bool hidden;
  std::vector<Member> members;
};

constexpr INVOKEKIND kGet = INVOKE_PROPERTYGET;
constexpr INVOKEKIND kLet = INVOKE_PROPERTYPUT;
constexpr INVOKEKIND kSet = INVOKE_PROPERTYPUTREF;
constexpr INVOKEKIND kCall = INVOKE_FUNC;

// Slots 0-6 are IUnknown and IDispatch. _clsKey's slots 8 and 11 (the let
// accessors of its two object fields) are deliberately not described.
const std::vector<Interface>& interfaces() {
  static const std::vector<Interface> list = {
      {kValuesItf, true, {
           {7, L"ValueExists", kGet, 0x68030003, {{L"ValueName", kBstr, Pass::ByRef}}, kBool},
           {8, L"Item", kGet, 0, {{L"Index", kVariant, Pass::ByRef}}, own(kValueItf)},
           {9, L"Count", kGet, 0x68030002, {}, kLong},
           {10, L"Add", kCall, 0x60030004,
            {{L"ValueName", kBstr, Pass::ByRef},
             {L"Value", kVariant, Pass::ByRef},
             {L"ValueType", own(kValueTypes), Pass::ByRef}},
            kBool},
           {11, L"Delete", kCall, 0x60030005, {{L"ValueName", kBstr, Pass::ByRef}}, kBool},
           {12, L"Path", kGet, 0x68030001, {}, kBstr},
           {13, L"Path", kLet, 0x68030001, {{L"strPath", kBstr, Pass::ByRef}}, kNone},
           {14, L"HKEY", kGet, 0x68030000, {}, own(kHKey)},
           {15, L"HKEY", kLet, 0x68030000, {{L"lngHKEY", own(kHKey), Pass::ByRef}}, kNone},
           {16, L"Refresh", kCall, 0x60030006, {}, kNone},
       }},
      {kKeysItf, true, {
           {7, L"KeyExists", kGet, 0x68030003, {{L"KeyName", kBstr, Pass::ByRef}}, kBool},
           {8, L"Count", kGet, 0x68030002, {}, kLong},
           {9, L"Item", kGet, 0, {{L"Index", kVariant, Pass::ByRef}}, own(kKeyItf)},
           {10, L"HKEY", kGet, 0x68030001, {}, own(kHKey)},
           {11, L"HKEY", kLet, 0x68030001, {{L"lngHKEY", own(kHKey), Pass::ByRef}}, kNone},
           {12, L"Path", kGet, 0x68030000, {}, kBstr},
           {13, L"Path", kLet, 0x68030000, {{L"strPath", kBstr, Pass::ByRef}}, kNone},
           {14, L"Refresh", kCall, 0x60030004, {}, kNone},
           {15, L"Add", kCall, 0x60030006, {{L"KeyName", kBstr, Pass::ByRef}}, kBool},
           {16, L"Delete", kCall, 0x60030007, {{L"KeyName", kBstr, Pass::ByRef}}, kBool},
       }},
      {kValueItf, false, {
           {7, L"Name", kGet, 0x40030000, {}, kBstr},
           {8, L"Name", kLet, 0x40030000, {{nullptr, kBstr, Pass::ByVal}}, kNone},
           {9, L"Value", kGet, 0x40030001, {}, kVariant},
           {10, L"Value", kLet, 0x40030001, {{nullptr, kVariant, Pass::InPtr}}, kNone},
           {11, L"Value", kSet, 0x40030001, {{nullptr, kVariant, Pass::InPtr}}, kNone},
           {12, L"ValueType", kGet, 0x40030002, {}, own(kValueTypes)},
           {13, L"ValueType", kLet, 0x40030002, {{nullptr, own(kValueTypes), Pass::ByVal}}, kNone},
       }},
      {kKeyItf, true, {
           {7, L"Values", kGet, 0x40030003, {}, own(kValuesItf)},
           {9, L"Values", kSet, 0x40030003, {{nullptr, own(kValuesItf), Pass::ByVal}}, kNone},
           {10, L"SubKeys", kGet, 0x40030004, {}, own(kKeysItf)},
           {12, L"SubKeys", kSet, 0x40030004, {{nullptr, own(kKeysItf), Pass::ByVal}}, kNone},
           {13, L"Exists", kGet, 0x68030003, {}, kBool},
           {14, L"HKEY", kGet, 0x68030002, {}, own(kHKey)},
           {15, L"HKEY", kLet, 0x68030002, {{L"lngHKEY", own(kHKey), Pass::ByRef}}, kNone},
           {16, L"Path", kGet, 0x68030001, {}, kBstr},
           {17, L"Path", kLet, 0x68030001, {{L"strPath", kBstr, Pass::ByRef}}, kNone},
           {18, L"Refresh", kCall, 0x60030004, {}, kNone},
           {19, L"Name", kGet, 0x68030000, {}, kBstr},
       }},
  };
  return list;
}

struct CoClass {
  int type;
  int defaultInterface;
};
const CoClass kCoClasses[] = {
    {kValuesCls, kValuesItf},
    {kKeysCls, kKeysItf},
    {kKeyCls, kKeyItf},
};

struct Constant {
  const wchar_t* name;
  LONG value;
};
struct Enumeration {
  int type;
  std::vector<Constant> constants;
};

const std::vector<Enumeration>& enumerations() {
  static const std::vector<Enumeration> list = {
      {kValueTypes, {
           {L"REG_BINARY", enValueTypes_REG_BINARY},
           {L"REG_DWORD", enValueTypes_REG_DWORD},
           {L"REG_DWORD_BIG_ENDIAN", enValueTypes_REG_DWORD_BIG_ENDIAN},
           {L"REG_DWORD_LITTLE_ENDIAN", enValueTypes_REG_DWORD_LITTLE_ENDIAN},
           {L"REG_EXPAND_SZ", enValueTypes_REG_EXPAND_SZ},
           {L"REG_LINK", enValueTypes_REG_LINK},
           {L"REG_MULTI_SZ", enValueTypes_REG_MULTI_SZ},
           {L"REG_NONE", enValueTypes_REG_NONE},
           {L"REG_RESOURCE_LIST", enValueTypes_REG_RESOURCE_LIST},
           {L"REG_SZ", enValueTypes_REG_SZ},
       }},
      {kHKey, {
           {L"HKEY_LOCAL_MACHINE", enHKEY_HKEY_LOCAL_MACHINE},
           {L"HKEY_USERS", enHKEY_HKEY_USERS},
           {L"HKEY_CURRENT_CONFIG", enHKEY_HKEY_CURRENT_CONFIG},
           {L"HKEY_DYN_DATA", enHKEY_HKEY_DYN_DATA},
           {L"HKEY_CURRENT_USER", enHKEY_HKEY_CURRENT_USER},
           {L"HKEY_CLASSES_ROOT", enHKEY_HKEY_CLASSES_ROOT},
       }},
  };
  return list;
}

// ---- Writing ----------------------------------------------------------------

class Writer {
 public:
  explicit Writer(const wchar_t* path) {
    // The generator is built for the module's own target, so its pointer
    // size says which system the library describes.
    check(CreateTypeLib2(sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32, path, lib_.put()), "CreateTypeLib2");
  }

  void write() {
    writeLibraryAttributes();
    createTypeInfos();
    for (const Interface& itf : interfaces()) writeInterface(itf);
    for (const CoClass& cls : kCoClasses) writeCoClass(cls);
    for (const Enumeration& en : enumerations()) writeEnumeration(en);
    for (int i = 0; i < kTypeCount; ++i)
      check(info_[i]->LayOut(), "LayOut " + narrow(kTypes[i].name));
    check(lib_->SaveAllChanges(), "SaveAllChanges");
  }

 private:
  void writeLibraryAttributes() {
    check(lib_->SetName(const_cast<LPOLESTR>(L"VornRegAccLib")), "SetName");
    check(lib_->SetGuid(LIBID_VornRegAccLib), "SetGuid");
    check(lib_->SetVersion(1, 0), "SetVersion");
    check(lib_->SetLcid(0x0409), "SetLcid");
    check(lib_->SetDocString(const_cast<LPOLESTR>(L"Vorn Registry Access Library")),
          "SetDocString");
    check(lib_->SetLibFlags(0), "SetLibFlags");

    // IDispatch, the base of every interface, comes from stdole2.
    Ref<ITypeLib> stdole;
    check(LoadTypeLib(L"stdole2.tlb", stdole.put()), "LoadTypeLib(stdole2.tlb)");
    check(stdole->GetTypeInfoOfGuid(IID_IDispatch, dispatch_.put()), "IDispatch in stdole2");
  }

  // Creating them all up front fixes the library order, whatever the
  // references between them.
  void createTypeInfos() {
    for (int i = 0; i < kTypeCount; ++i) {
      const TypeEntry& t = kTypes[i];
      Ref<ICreateTypeInfo> created;
      check(lib_->CreateTypeInfo(const_cast<LPOLESTR>(t.name), t.kind, created.put()),
            "CreateTypeInfo " + narrow(t.name));
      check(created->QueryInterface(IID_ICreateTypeInfo2, reinterpret_cast<void**>(info_[i].put())),
            "ICreateTypeInfo2 of " + narrow(t.name));
      check(info_[i]->QueryInterface(IID_ITypeInfo, reinterpret_cast<void**>(view_[i].put())),
            "ITypeInfo of " + narrow(t.name));
      if (t.guid) check(info_[i]->SetGuid(*t.guid), "SetGuid " + narrow(t.name));
    }
  }

  void writeInterface(const Interface& itf) {
    ICreateTypeInfo2* ti = info_[itf.type].get();
    const std::string what = narrow(kTypes[itf.type].name);
    UINT flags = TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION;
    if (itf.hidden) flags |= TYPEFLAG_FHIDDEN;
    check(ti->SetTypeFlags(flags), "SetTypeFlags " + what);
    check(ti->SetVersion(1, 0), "SetVersion " + what);

    HREFTYPE base = 0;
    check(ti->AddRefTypeInfo(dispatch_.get(), &base), "AddRefTypeInfo(IDispatch) " + what);
    check(ti->AddImplType(0, base), "AddImplType " + what);

    UINT index = 0;
    for (const Member& m : itf.members) {
      writeMember(ti, index, m);
      ++index;
    }
  }

  void writeMember(ICreateTypeInfo2* ti, UINT index, const Member& m) {
    const std::string what = narrow(m.name);
    std::deque<TYPEDESC> pool;  // keeps every TYPEDESC node alive until AddFuncDesc
    std::vector<ELEMDESC> params;
    std::vector<LPOLESTR> names{const_cast<LPOLESTR>(m.name)};
    bool unnamedSeen = false;

    for (const Param& p : m.params) {
      ELEMDESC e{};
      TYPEDESC* base = typeDesc(ti, pool, p.type);
      switch (p.pass) {
        case Pass::ByRef:
          e.tdesc = pointerTo(base);
          e.paramdesc.wParamFlags = PARAMFLAG_FIN | PARAMFLAG_FOUT;
          break;
        case Pass::ByVal:
          e.tdesc = *base;
          e.paramdesc.wParamFlags = PARAMFLAG_FIN;
          break;
        case Pass::InPtr:
          e.tdesc = pointerTo(base);
          e.paramdesc.wParamFlags = PARAMFLAG_FIN;
          break;
      }
      params.push_back(e);
      // Names are positional: once one parameter is unnamed, the rest are too.
      // The value parameter of a property put is always unnamed: the writer
      // refuses a name for it (TYPE_E_ELEMENTNOTFOUND), as the automation
      // rules have it; callers pass it as the named argument DISPID_PROPERTYPUT.
      const bool putValue = (m.kind == kLet || m.kind == kSet) && &p == &m.params.back();
      if (p.name && !putValue && !unnamedSeen)
        names.push_back(const_cast<LPOLESTR>(p.name));
      else
        unnamedSeen = true;
    }
    if (m.result.vt != VT_EMPTY) {
      ELEMDESC e{};
      e.tdesc = pointerTo(typeDesc(ti, pool, m.result));
      e.paramdesc.wParamFlags = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
      params.push_back(e);
    }

    FUNCDESC fd{};
    fd.memid = m.id;
    fd.funckind = FUNC_PUREVIRTUAL;
    fd.invkind = m.kind;
    fd.callconv = CC_STDCALL;
    fd.cParams = static_cast<SHORT>(params.size());
    fd.cParamsOpt = 0;
    fd.oVft = static_cast<SHORT>(m.slot * sizeof(void*));
    fd.lprgelemdescParam = params.empty() ? nullptr : params.data();
    fd.elemdescFunc.tdesc.vt = VT_HRESULT;
    fd.wFuncFlags = 0;
    check(ti->AddFuncDesc(index, &fd), "AddFuncDesc " + what);
    check(ti->SetFuncAndParamNames(index, names.data(), static_cast<UINT>(names.size())),
          "SetFuncAndParamNames " + what);
  }

  // The TYPEDESC of a type as it is passed by value: enumerations are
  // user-defined references, interfaces pointers to one.
  TYPEDESC* typeDesc(ICreateTypeInfo2* ti, std::deque<TYPEDESC>& pool, Type t) {
    TYPEDESC& node = pool.emplace_back();
    node.vt = t.vt;
    if (t.vt != VT_USERDEFINED) return &node;
    check(ti->AddRefTypeInfo(view_[t.ref].get(), &node.hreftype),
          "AddRefTypeInfo " + narrow(kTypes[t.ref].name));
    return kTypes[t.ref].kind == TKIND_INTERFACE ? &pool.emplace_back(pointerTo(&node))
                                                 : &node;
  }

  static TYPEDESC pointerTo(TYPEDESC* inner) {
    TYPEDESC ptr{};
    ptr.vt = VT_PTR;
    ptr.lptdesc = inner;
    return ptr;
  }

  void writeCoClass(const CoClass& cls) {
    ICreateTypeInfo2* ti = info_[cls.type].get();
    const std::string what = narrow(kTypes[cls.type].name);
    check(ti->SetVersion(1, 0), "SetVersion " + what);
    check(ti->SetTypeFlags(TYPEFLAG_FCANCREATE), "SetTypeFlags " + what);
    HREFTYPE href = 0;
    check(ti->AddRefTypeInfo(view_[cls.defaultInterface].get(), &href),
          "AddRefTypeInfo " + what);
    check(ti->AddImplType(0, href), "AddImplType " + what);
    check(ti->SetImplTypeFlags(0, IMPLTYPEFLAG_FDEFAULT), "SetImplTypeFlags " + what);
    // Wine marks a coclass dispatchable when its implemented interface is the
    // library's first type info; restate the flags to undo that.
    check(ti->SetTypeFlags(TYPEFLAG_FCANCREATE), "SetTypeFlags (again) " + what);
  }

  void writeEnumeration(const Enumeration& en) {
    ICreateTypeInfo2* ti = info_[en.type].get();
    UINT index = 0;
    for (const Constant& c : en.constants) {
      const std::string what = narrow(c.name);
      VARIANT value;
      VariantInit(&value);
      V_VT(&value) = VT_I4;
      V_I4(&value) = c.value;
      VARDESC vd{};
      vd.memid = MEMBERID_NIL;
      vd.lpvarValue = &value;
      vd.elemdescVar.tdesc.vt = VT_I4;
      vd.varkind = VAR_CONST;
      check(ti->AddVarDesc(index, &vd), "AddVarDesc " + what);
      check(ti->SetVarName(index, const_cast<LPOLESTR>(c.name)), "SetVarName " + what);
      check(ti->SetVarDocString(index, const_cast<LPOLESTR>(c.name)), "SetVarDocString " + what);
      ++index;
    }
  }

  Ref<ICreateTypeLib2> lib_;
  Ref<ITypeInfo> dispatch_;
  Ref<ICreateTypeInfo2> info_[kTypeCount];
  Ref<ITypeInfo> view_[kTypeCount];
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: typelib_gen <output.tlb>\n");
    return 2;
  }
  wchar_t path[MAX_PATH];
  if (!MultiByteToWideChar(CP_ACP, 0, argv[1], -1, path, MAX_PATH)) {
    std::fprintf(stderr, "typelib_gen: bad output path\n");
    return 2;
  }
  try {
    Writer(path).write();
  } catch (const HrError& e) {
    std::fprintf(stderr, "typelib_gen: %s failed: 0x%08lx\n", e.what(),
                 static_cast<unsigned long>(e.hr));
    DeleteFileW(path);
    return 1;
  }
  return 0;
}
