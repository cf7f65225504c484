// DispatchObject: the one template that gives every class of the library its
// IUnknown, IDispatch (from the library's type information) and
// ISupportErrorInfo, counts it for the module, and provides the error
// boundary through which every published method returns.
#pragma once

#include <oaidl.h>

#include <iterator>
#include <utility>

#include "automation/errors.h"
#include "automation/ownership.h"
#include "automation/keyed_collection.h"
#include "automation/module_count.h"
#include "automation/type_info.h"

namespace vorn {

// A member served through IDispatch only, beyond the type library. A class
// lists its own in one table, kExtraMembers, next to its published members;
// dispatch answers their names in GetIDsOfNames (letter case ignored) and
// serves their identifiers in Invoke.
struct ExtraMember {
  // A property is read and assigned; a read-only one refuses an assignment
  // as the platform refuses one of a published read-only property.
  enum Kind : unsigned char { kMethod, kProperty, kReadOnlyProperty };
  static constexpr UINT kMaxArguments = 4;
  const wchar_t* name;
  DISPID id;
  Kind kind;
  UINT arguments;     // a method's arguments, optional ones included; 0 for a property
  UINT optional = 0;  // how many of the last arguments a caller may leave out
};

// One call of an extra member as the class's InvokeExtra sees it: a
// property read, a property assignment (put), or a method call with exactly
// its arguments. Each argument is in declared order, a script variable
// already followed to the value it holds (one level; VT_BYREF of a plain
// type may remain); for a put, arguments[0] is the value assigned. An
// optional argument the caller left out (not passed, or passed as the
// "missing" marker VT_ERROR/DISP_E_PARAMNOTFOUND) is null.
struct ExtraCall {
  bool put = false;
  const VARIANT* arguments[ExtraMember::kMaxArguments] = {};
  unique_variant result;  // what a read or a method returns
};

// What dispatch serves beyond the type library for one class: the items of
// a collection that can be walked (For Each, new Enumerator), which
// items(object) loads as its Count does and may throw; and the extra
// members, which invoke_extra(object, member, call) serves, throwing
// vorn::Error for a refusal.
struct Beyond {
  const KeyedCollection& (*items)(void* object) = nullptr;
  const ExtraMember* extras = nullptr;
  size_t extra_count = 0;
  void (*invoke_extra)(void* object, const ExtraMember& member, ExtraCall& call) = nullptr;
  void* object = nullptr;

  const ExtraMember* FindExtra(DISPID id) const noexcept;
  const ExtraMember* FindExtra(const wchar_t* name) const noexcept;
};

// Calls member id of instance through its type information, with these
// departures from the platform's standard dispatch:
// - a malformed call (an argument passed by reference through a null
//   pointer or as a reference to a reference, argument arrays that are
//   missing) is refused before any member runs, with an error that carries
//   its number and description;
// - an extra member (see ExtraMember) is served by its class, with the
//   argument rules below and the same error boundary as a published member;
// - DISPID_NEWENUM of a class that can be walked, read without arguments
//   (as a method, a property read or both), returns a new enumerator
//   (VT_UNKNOWN) over a snapshot of the collection's items, in order;
// - an argument passed as a reference to a VARIANT (how script engines pass
//   their variables) for a parameter declared as a reference to a string or
//   a 32-bit integer is converted into a temporary of the declared type; the
//   temporary is copied back into the caller's variable only when the member
//   changed it;
// - a root key handle parameter also takes a number from 2^31 to 2^32-1 as
//   the same 32-bit pattern (JScript reads 0x80000001 as 2147483649);
// - a call made as a method of a member that is only a property read reads
//   the property;
// - flags that name several kinds of call (a get flag with a put flag)
//   reach the accessor that the platform's dispatch takes, the first the
//   flags name in the order method, read, assignment, reference assignment,
//   and the platform is handed that accessor's flag alone;
// - a property read or assignment with arguments, of a member that takes
//   none, goes to the default member of the object that the property
//   returns; when it returns no object, the call fails as not a collection,
//   whatever the flags;
// - a refusal of the call itself (no such member, a wrong argument count,
//   named arguments) returns the platform's status for it with its
//   description in the thread's error information;
// - an argument that the platform's dispatch cannot convert fails with the
//   conventional type mismatch or overflow error and its description.
// Calls that need no conversion go straight to the platform's dispatch.
HRESULT InvokeByTypeInfo(const IID& iid, const type_info::Interface& described, void* instance, DISPID id,
                         LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep_info,
                         UINT* arg_err, const Beyond& beyond = {}) noexcept;

// Checks a pointer argument at a method boundary of a class derived from
// DispatchObject: null returns E_POINTER with a description.
#define VORN_CHECK_OUT(p)              \
  do {                                 \
    if (!(p)) return NullPointer();    \
  } while (0)

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

  // A collection that can be walked provides
  //   const KeyedCollection& Walked();
  // its items, loaded as its Count loads them (errors thrown reach the
  // caller); dispatch then answers DISPID_NEWENUM with an enumerator over
  // them. The type library is not involved: it has no such member.
  //
  // A class with members beyond the type library provides
  //   static constexpr ExtraMember kExtraMembers[] = {...};
  //   void InvokeExtra(const ExtraMember& member, ExtraCall& call);

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
    VORN_CHECK_OUT(count);
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    VORN_CHECK_OUT(info);
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    const type_info::Interface* described = nullptr;
    HRESULT hr = type_info::ForInterface(kIid, &described);
    if (SUCCEEDED(hr)) (*info = described->info)->AddRef();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (count && names && ids && names[0]) {
      if (const ExtraMember* extra = Served().FindExtra(names[0])) {
        // Extra members take no named arguments: their parameters have no
        // identifiers.
        ids[0] = extra->id;
        for (UINT i = 1; i < count; ++i) ids[i] = DISPID_UNKNOWN;
        return count > 1 ? DISP_E_UNKNOWNNAME : S_OK;
      }
    }
    const type_info::Interface* described = nullptr;
    HRESULT hr = type_info::ForInterface(kIid, &described);
    return FAILED(hr) ? hr : described->info->GetIDsOfNames(names, count, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* excep_info, UINT* arg_err) override {
    const type_info::Interface* described = nullptr;
    HRESULT hr = type_info::ForInterface(kIid, &described);
    if (FAILED(hr)) return hr;
    return InvokeByTypeInfo(kIid, *described, static_cast<Interface*>(this), id, lcid, flags, params, result,
                            excep_info, arg_err, Served());
  }

  // ISupportErrorInfo
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override {
    return IsEqualIID(riid, kIid) ? S_OK : S_FALSE;
  }

 protected:
  DispatchObject() noexcept { module_count::Increment(); }
  // An object whose owner counts it for the module, once for all it keeps
  // (the records of a value load): it must end without this destructor.
  struct CountedByOwner {};
  explicit DispatchObject(CountedByOwner) noexcept {}
  virtual ~DispatchObject() { module_count::Decrement(); }

  // Runs the body of a published method: errors it throws become the
  // returned HRESULT with the thread's error information set.
  template <typename Body>
  static HRESULT Boundary(Body&& body) noexcept {
    return Guard(kIid, std::forward<Body>(body));
  }

  // E_POINTER with the thread's error information set, for a null pointer
  // argument (see VORN_CHECK_OUT).
  static HRESULT NullPointer() noexcept { return ReportError(E_POINTER, DescriptionOf(E_POINTER), kIid); }

 private:
  static Derived* Self(void* self) noexcept { return static_cast<Derived*>(static_cast<DispatchObject*>(self)); }
  static const KeyedCollection& WalkedItems(void* self) { return Self(self)->Walked(); }
  static void ServeExtra(void* self, const ExtraMember& member, ExtraCall& call) {
    Self(self)->InvokeExtra(member, call);
  }
  // What this class serves beyond the type library.
  Beyond Served() noexcept {
    Beyond beyond;
    beyond.object = static_cast<DispatchObject*>(this);
    if constexpr (requires(Derived& d) { d.Walked(); }) beyond.items = &WalkedItems;
    if constexpr (requires { Derived::kExtraMembers; }) {
      beyond.extras = Derived::kExtraMembers;
      beyond.extra_count = std::size(Derived::kExtraMembers);
      beyond.invoke_extra = &ServeExtra;
    }
    return beyond;
  }

  LONG volatile references_ = 1;
};

}  // namespace vorn
