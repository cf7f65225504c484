// The library's type information, loaded once from the module's embedded
// type library, and the member table dispatch looks members up in.
#include "automation/type_info.h"

#include <oleauto.h>

#include <atomic>
#include <cwchar>
#include <mutex>
#include <utility>

#include "contract/guids.h"
#include "automation/ownership.h"
#include "support/module_file.h"

namespace vorn::type_info {

namespace {

struct Cache {
  std::mutex lock;
  ComPtr<ITypeLib> library;
  struct Entry {
    const IID* iid;
    ComPtr<ITypeInfo> info;
    Interface described;  // described.info is info, once loaded
    // Set once described is complete: from then on a call finds it without
    // taking the lock (every Invoke asks).
    std::atomic<bool> ready;
  };
  Entry entries[4] = {{&guids::IID__clsKey, {}, {}, {false}},
                      {&guids::IID__clsKeys, {}, {}, {false}},
                      {&guids::IID__clsValues, {}, {}, {false}},
                      {&guids::IID_clsValue, {}, {}, {false}}};
};

// Never destroyed: at process exit oleaut32 may already be gone, so the
// references are dropped only by Release(), when the module may be unloaded.
Cache& TheCache() {
  static Cache* cache = new Cache;
  return *cache;
}

HRESULT LoadLibraryOfThisModule(ComPtr<ITypeLib>& library) {
  HMODULE module = nullptr;
  if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&LoadLibraryOfThisModule), &module))
    return HRESULT_FROM_WIN32(::GetLastError());
  std::wstring path;
  if (HRESULT hr = ModuleFileName(module, path); FAILED(hr)) return hr;
  return ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put());
}

// The dispatch-side description of a dual interface refers to its vtable
// side through the implemented type -1.
HRESULT VtableSide(ITypeInfo* described, ComPtr<ITypeInfo>& vtable) {
  HREFTYPE ref = 0;
  HRESULT hr = described->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref);
  if (FAILED(hr)) {
    vtable = ComPtr<ITypeInfo>(described);
    return S_OK;
  }
  return described->GetRefTypeInfo(ref, vtable.put());
}

// A parameter declared as a pointer to a string, a 32-bit integer or an
// enumeration; the root key enumeration is told apart by its name.
ParamKind KindOf(ITypeInfo* info, const TYPEDESC& type) {
  if (type.vt != VT_PTR || !type.lptdesc) return ParamKind::kOther;
  const TYPEDESC& target = *type.lptdesc;
  if (target.vt == VT_BSTR) return ParamKind::kStringRef;
  if (target.vt == VT_I4) return ParamKind::kLongRef;
  if (target.vt != VT_USERDEFINED) return ParamKind::kOther;
  ComPtr<ITypeInfo> referenced;
  if (FAILED(info->GetRefTypeInfo(target.hreftype, referenced.put()))) return ParamKind::kOther;
  TYPEATTR* attr = nullptr;
  if (FAILED(referenced->GetTypeAttr(&attr))) return ParamKind::kOther;
  bool is_enum = attr->typekind == TKIND_ENUM;
  referenced->ReleaseTypeAttr(attr);
  if (!is_enum) return ParamKind::kOther;
  unique_bstr name;
  referenced->GetDocumentation(MEMBERID_NIL, name.put(), nullptr, nullptr, nullptr);
  bool root = name && std::wcscmp(name.get(), L"enHKEY") == 0;
  return root ? ParamKind::kRootRef : ParamKind::kLongRef;
}

// Every member of the interface, in the type info's order.
HRESULT Collect(ITypeInfo* info, std::vector<Member>& members) {
  TYPEATTR* attr = nullptr;
  HRESULT hr = info->GetTypeAttr(&attr);
  if (FAILED(hr)) return hr;
  UINT count = attr->cFuncs;
  info->ReleaseTypeAttr(attr);
  for (UINT i = 0; i < count; ++i) {
    FUNCDESC* desc = nullptr;
    // Wine may count more functions than there are; the real ones come first.
    if (FAILED(info->GetFuncDesc(i, &desc))) break;
    Member member;
    member.id = desc->memid;
    member.kind = desc->invkind;
    member.params = static_cast<UINT>(desc->cParams);
    for (UINT p = 0; p < member.params && p < Member::kMaxParams; ++p) {
      member.param_kinds[p] = KindOf(info, desc->lprgelemdescParam[p].tdesc);
      if (member.param_kinds[p] != ParamKind::kOther) member.converts = true;
    }
    info->ReleaseFuncDesc(desc);
    members.push_back(member);
  }
  return S_OK;
}

}  // namespace

const Member* Interface::Find(DISPID id, WORD flags) const noexcept {
  static const struct {
    WORD flag;
    INVOKEKIND kind;
  } kKinds[] = {{DISPATCH_METHOD, INVOKE_FUNC},
                {DISPATCH_PROPERTYGET, INVOKE_PROPERTYGET},
                {DISPATCH_PROPERTYPUT, INVOKE_PROPERTYPUT},
                {DISPATCH_PROPERTYPUTREF, INVOKE_PROPERTYPUTREF}};
  for (const auto& k : kKinds) {
    if (!(flags & k.flag)) continue;
    for (const Member& m : members)
      if (m.id == id && m.kind == k.kind) return &m;
  }
  return nullptr;
}

HRESULT ForInterface(const IID& iid, const Interface** found) noexcept try {
  *found = nullptr;
  Cache& cache = TheCache();
  for (auto& entry : cache.entries) {
    if (!IsEqualIID(*entry.iid, iid)) continue;
    if (entry.ready.load(std::memory_order_acquire)) {
      *found = &entry.described;
      return S_OK;
    }
    std::lock_guard<std::mutex> guard(cache.lock);
    if (!entry.info) {
      if (!cache.library) {
        HRESULT hr = LoadLibraryOfThisModule(cache.library);
        if (FAILED(hr)) return hr;
      }
      ComPtr<ITypeInfo> described, vtable;
      HRESULT hr = cache.library->GetTypeInfoOfGuid(iid, described.put());
      if (SUCCEEDED(hr)) hr = VtableSide(described.get(), vtable);
      std::vector<Member> members;
      if (SUCCEEDED(hr)) hr = Collect(vtable.get(), members);
      if (FAILED(hr)) return hr;
      entry.info = std::move(vtable);
      entry.described.info = entry.info.get();
      entry.described.members = std::move(members);
      entry.ready.store(true, std::memory_order_release);
    }
    *found = &entry.described;
    return S_OK;
  }
  return TYPE_E_ELEMENTNOTFOUND;
} catch (...) {
  return E_OUTOFMEMORY;
}

void Release() noexcept {
  Cache& cache = TheCache();
  std::lock_guard<std::mutex> guard(cache.lock);
  for (auto& entry : cache.entries) {
    entry.ready.store(false, std::memory_order_release);
    entry.described = Interface();
    entry.info.reset();
  }
  cache.library.reset();
}

}  // namespace vorn::type_info
