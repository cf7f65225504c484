// DispatchObject: the one template that gives every class of the library its
// IUnknown, IDispatch (from the library's type information) and
// ISupportErrorInfo, counts it for the module, and provides the error
// boundary through which every published method returns.
#pragma once

#include <oaidl.h>

#include <utility>

#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/module_count.h"
#include "platform/type_info.h"

namespace vorn {

// Calls member id of instance through its type information, with one
// departure from the platform's standard dispatch: an argument passed as a
// reference to a VARIANT (how script engines pass their variables) for a
// parameter declared as a reference to a string or a 32-bit integer is
// converted into a temporary of the declared type; the temporary is copied
// back into the caller's variable only when the member changed it.
HRESULT InvokeByTypeInfo(ITypeInfo* info, void* instance, DISPID id, WORD flags, DISPPARAMS* params,
                         VARIANT* result, EXCEPINFO* excep_info, UINT* arg_err) noexcept;

template <typename Derived, typename Interface, const IID& kIid>
class DispatchObject : public Interface, public ISupportErrorInfo {
 public:
  DispatchObject(const DispatchObject&) = delete;
  DispatchObject& operator=(const DispatchObject&) = delete;

  // A new object holding one reference, owned by the returned pointer.
  template <typename... Args>
  static ComPtr<Derived> Create(Args&&... args) {
    return ComPtr<Derived>::adopt(new Derived(std::forward<Args>(args)...));
  }

  // The published interface of this object (no new reference).
  Interface* Published() noexcept { return static_cast<Interface*>(this); }

  // Further interfaces a class answers (a class hides this with its own);
  // *object gets the pointer, QueryInterface adds the reference.
  bool QueryOther(REFIID, void**) noexcept { return false; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, kIid)) {
      *object = static_cast<Interface*>(this);
    } else if (IsEqualIID(riid, IID_ISupportErrorInfo)) {
      *object = static_cast<ISupportErrorInfo*>(this);
    } else if (!static_cast<Derived*>(this)->QueryOther(riid, object)) {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&references_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG left = ::InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    HRESULT hr = type_info::ForInterface(kIid, info);
    if (SUCCEEDED(hr)) (*info)->AddRef();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    ITypeInfo* info = nullptr;
    HRESULT hr = type_info::ForInterface(kIid, &info);
    return FAILED(hr) ? hr : info->GetIDsOfNames(names, count, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* excep_info, UINT* arg_err) override {
    ITypeInfo* info = nullptr;
    HRESULT hr = type_info::ForInterface(kIid, &info);
    if (FAILED(hr)) return hr;
    return InvokeByTypeInfo(info, static_cast<Interface*>(this), id, flags, params, result, excep_info, arg_err);
  }

  // ISupportErrorInfo
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override {
    return IsEqualIID(riid, kIid) ? S_OK : S_FALSE;
  }

 protected:
  DispatchObject() noexcept { module_count::Increment(); }
  virtual ~DispatchObject() { module_count::Decrement(); }

  // Runs the body of a published method: errors it throws become the
  // returned HRESULT with the thread's error information set.
  template <typename Body>
  static HRESULT Boundary(Body&& body) noexcept {
    return Guard(kIid, std::forward<Body>(body));
  }

 private:
  LONG volatile references_ = 1;
};

// Checks an out-parameter pointer at a method boundary.
#define VORN_CHECK_OUT(p) \
  do {                    \
    if (!(p)) return E_POINTER; \
  } while (0)

}  // namespace vorn
