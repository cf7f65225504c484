// The class table and the class objects made from it.
#include "server/class_factory.h"

#include <array>
#include <new>
#include <utility>

#include "contract/guids.h"
#include "keys/key.h"
#include "keys/keys.h"
#include "automation/module_count.h"
#include "values/values.h"

namespace vorn::server {

namespace {

// A new object of T, answering riid. The object is released again when it
// does not answer riid.
template <typename T>
HRESULT CreateObject(REFIID riid, void** object) noexcept {
  try {
    ComPtr<T> created = T::Create();
    return created->QueryInterface(riid, object);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

const ClassRecord kClasses[] = {
    {L"clsKey", L"_clsKey", &guids::CLSID_clsKey, &guids::IID__clsKey, &CreateObject<Key>},
    {L"clsValue", L"clsValue", &guids::CLSID_clsValue, &guids::IID_clsValue, nullptr},
    {L"clsKeys", L"_clsKeys", &guids::CLSID_clsKeys, &guids::IID__clsKeys, &CreateObject<Keys>},
    {L"clsValues", L"_clsValues", &guids::CLSID_clsValues, &guids::IID__clsValues, &CreateObject<Values>},
};

// Locks taken by IClassFactory::LockServer. Kept apart from the object count
// so that an unlock without a lock cannot cancel out a live object.
LONG volatile g_locks = 0;

// The class object of one creatable class. There is one static instance per
// class; every reference to it counts as an object of the module, so that
// the module stays loaded while a client holds a class object without
// locking it.
class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(const ClassRecord& record) noexcept : record_(record) {}

  const ClassRecord& record() const noexcept { return record_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) return E_NOINTERFACE;
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    module_count::Increment();
    return static_cast<ULONG>(::InterlockedIncrement(&references_));
  }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG left = ::InterlockedDecrement(&references_);
    module_count::Decrement();
    return static_cast<ULONG>(left);
  }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;  // no class of the library is aggregatable
    return record_.create(riid, object);
  }

  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      ::InterlockedIncrement(&g_locks);
      return S_OK;
    }
    // Never below zero: an unbalanced unlock is refused.
    for (LONG current = g_locks; current > 0; current = g_locks) {
      if (::InterlockedCompareExchange(&g_locks, current - 1, current) == current) return S_OK;
    }
    return E_UNEXPECTED;
  }

 private:
  const ClassRecord& record_;
  LONG volatile references_ = 0;
};

// One class object per record of the table; those of classes that are not
// creatable are never handed out.
template <std::size_t... I>
std::array<ClassFactory, sizeof...(I)> MakeFactories(std::index_sequence<I...>) {
  return {ClassFactory(kClasses[I])...};
}
std::array<ClassFactory, std::size(kClasses)> g_factories =
    MakeFactories(std::make_index_sequence<std::size(kClasses)>());

}  // namespace

std::span<const ClassRecord> ModuleClasses() noexcept { return kClasses; }

HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** object) noexcept {
  if (!object) return E_POINTER;
  *object = nullptr;
  for (ClassFactory& factory : g_factories) {
    const ClassRecord& record = factory.record();
    if (record.create && IsEqualCLSID(clsid, *record.clsid)) return factory.QueryInterface(riid, object);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

bool CanUnloadNow() noexcept { return module_count::Value() == 0 && ::InterlockedCompareExchange(&g_locks, 0, 0) == 0; }

}  // namespace vorn::server
