#include "platform/type_info.h"

#include <oleauto.h>

#include <mutex>

#include "contract/guids.h"
#include "platform/handles.h"
#include "platform/module_file.h"

namespace vorn::type_info {

namespace {

struct Cache {
  std::mutex lock;
  ComPtr<ITypeLib> library;
  struct Entry {
    const IID* iid;
    ComPtr<ITypeInfo> info;
  };
  Entry entries[4] = {{&guids::IID__clsKey, {}},
                      {&guids::IID__clsKeys, {}},
                      {&guids::IID__clsValues, {}},
                      {&guids::IID_clsValue, {}}};
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

}  // namespace

HRESULT ForInterface(const IID& iid, ITypeInfo** info) noexcept {
  *info = nullptr;
  Cache& cache = TheCache();
  std::lock_guard<std::mutex> guard(cache.lock);
  for (auto& entry : cache.entries) {
    if (!IsEqualIID(*entry.iid, iid)) continue;
    if (!entry.info) {
      if (!cache.library) {
        HRESULT hr = LoadLibraryOfThisModule(cache.library);
        if (FAILED(hr)) return hr;
      }
      ComPtr<ITypeInfo> described;
      HRESULT hr = cache.library->GetTypeInfoOfGuid(iid, described.put());
      if (FAILED(hr)) return hr;
      hr = VtableSide(described.get(), entry.info);
      if (FAILED(hr)) return hr;
    }
    *info = entry.info.get();
    return S_OK;
  }
  return TYPE_E_ELEMENTNOTFOUND;
}

void Release() noexcept {
  Cache& cache = TheCache();
  std::lock_guard<std::mutex> guard(cache.lock);
  for (auto& entry : cache.entries) entry.info.reset();
  cache.library.reset();
}

}  // namespace vorn::type_info
