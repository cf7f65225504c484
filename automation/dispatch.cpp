// Late-bound calls through the type information: argument checks and
// conversions, the enumerator, the extra members and their error boundary.
#include "automation/dispatch.h"

#include <oleauto.h>

#include <new>
#include <vector>

#include "automation/enumerator.h"

namespace vorn {

namespace {

using type_info::Member;
using type_info::ParamKind;

constexpr WORD kReadFlags = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
constexpr WORD kPutFlags = DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF;

// A refusal of the call itself (no such member, a wrong number of
// arguments, named arguments...): the status, which script engines show by
// its conventional number (438, 450, 446...), with its description in the
// thread's error information, as the platform's dispatch leaves none.
HRESULT Refuse(HRESULT status, const IID& iid) noexcept {
  const wchar_t* description = DescriptionOf(status);
  return ReportError(status, *description ? description : L"Automation error", iid);
}

// One argument converted into a temporary of its declared type.
struct Shimmed {
  VARIANT* caller;  // the caller's variable, or null for an argument by value
  unique_variant temporary;
  unique_variant original;  // the temporary as it was before the call
};

bool SameValue(const VARIANT& a, const VARIANT& b) {
  if (V_VT(&a) != V_VT(&b)) return false;
  if (V_VT(&a) == VT_BSTR) return SameText(V_BSTR(&a), V_BSTR(&b));
  if (V_VT(&a) == VT_I4) return V_I4(&a) == V_I4(&b);
  return false;
}

// The parameter that rgvarg[arg_index] stands for: arguments come in
// reverse order, and a property put's value, rgvarg[0], is the last one.
ParamKind KindOfArgument(const Member& member, UINT arg_index, UINT arg_count, bool put) {
  UINT param = (put && arg_index == 0) ? member.params - 1 : arg_count - 1 - arg_index;
  return param < Member::kMaxParams ? member.param_kinds[param] : ParamKind::kOther;
}

// Whether the platform's dispatch would refuse or misread this argument for
// a parameter of this kind: a script variable (a reference to a VARIANT)
// for a string or integer reference, and anything but a 32-bit integer for
// a root key handle.
bool NeedsConversion(const VARIANT& arg, ParamKind kind) {
  switch (kind) {
    case ParamKind::kStringRef:
    case ParamKind::kLongRef: return V_VT(&arg) == (VT_BYREF | VT_VARIANT);
    case ParamKind::kRootRef: return V_VT(&arg) != VT_I4 && V_VT(&arg) != (VT_BYREF | VT_I4);
    default: return false;
  }
}

// Whether any argument of the call needs converting. Calls with named
// arguments (other than a property put's value) and with more arguments
// than the member declares are left to the platform's dispatch.
bool AnyNeedsConversion(const Member& member, const DISPPARAMS& params, bool put) {
  if (!member.converts || params.cNamedArgs > (put ? 1u : 0u) || params.cArgs > member.params) return false;
  for (UINT i = 0; i < params.cArgs; ++i)
    if (NeedsConversion(params.rgvarg[i], KindOfArgument(member, i, params.cArgs, put))) return true;
  return false;
}

// A root key handle: any 32-bit signed value, or a number from 2^31 to
// 2^32-1 taken as the same 32-bit pattern (JScript reads 0x80000001 as the
// number 2147483649). Anything else outside the signed range overflows.
HRESULT ToRootKey(VARIANT& out, VARIANT* in) {
  HRESULT hr = ::VariantChangeType(&out, in, 0, VT_I4);
  if (hr != DISP_E_OVERFLOW) return hr;
  unique_variant wide;
  if (FAILED(::VariantChangeType(&wide.ref(), in, 0, VT_I8))) return DISP_E_OVERFLOW;
  LONGLONG n = V_I8(&wide.ref());
  if (n < 0x80000000LL || n > 0xFFFFFFFFLL) return DISP_E_OVERFLOW;
  ::VariantClear(&out);
  V_VT(&out) = VT_I4;
  V_I4(&out) = static_cast<LONG>(static_cast<ULONG>(n));
  return S_OK;
}

// The platform's dispatch, with the failures of its own argument conversion,
// which it returns as bare statuses, reported as the conventional errors with
// their descriptions (as the members report theirs), and its other refusals
// of a call described. A member's own error comes back as DISP_E_EXCEPTION
// (the members of this library never fail with a dispatch status).
HRESULT CallPlatform(const IID& iid, const type_info::Interface& described, void* instance, DISPID id, WORD flags,
                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep_info, UINT* arg_err) {
  HRESULT hr = described.info->Invoke(instance, id, flags, params, result, excep_info, arg_err);
  switch (hr) {
    case DISP_E_TYPEMISMATCH:
    case DISP_E_BADVARTYPE: return ReportException(errors::kTypeMismatch, iid, excep_info);
    case DISP_E_OVERFLOW: return ReportException(errors::kOverflow, iid, excep_info);
    case DISP_E_EXCEPTION: return hr;
    default: return FAILED(hr) && HRESULT_FACILITY(hr) == FACILITY_DISPATCH ? Refuse(hr, iid) : hr;
  }
}

// The index of the first malformed argument, cArgs when there is none.
UINT FirstMalformed(const DISPPARAMS& params) {
  for (UINT i = 0; i < params.cArgs; ++i)
    if (IsMalformedReference(&params.rgvarg[i])) return i;
  return params.cArgs;
}

// Converts the arguments that need it and calls the member; the others go
// to the platform's dispatch as they came.
HRESULT InvokeConverted(const IID& iid, const type_info::Interface& described, void* instance,
                        const Member& member, DISPID id, WORD flags, const DISPPARAMS& params, bool put,
                        VARIANT* result, EXCEPINFO* excep_info, UINT* arg_err) {
  std::vector<VARIANTARG> args(params.rgvarg, params.rgvarg + params.cArgs);
  std::vector<Shimmed> shims;
  shims.reserve(params.cArgs);
  for (UINT i = 0; i < params.cArgs; ++i) {
    VARIANTARG& arg = args[i];
    ParamKind kind = KindOfArgument(member, i, params.cArgs, put);
    if (!NeedsConversion(arg, kind)) continue;
    Shimmed shim{V_VT(&arg) == (VT_BYREF | VT_VARIANT) ? Referenced(&arg) : nullptr, {}, {}};
    VARIANT* source = shim.caller ? shim.caller : &arg;
    HRESULT hr = kind == ParamKind::kRootRef
                     ? ToRootKey(shim.temporary.ref(), source)
                     : ::VariantChangeType(&shim.temporary.ref(), source, 0,
                                           kind == ParamKind::kStringRef ? VT_BSTR : VT_I4);
    if (FAILED(hr)) {
      // The conventional number with its description, as every script
      // engine shows it (JScript shows a bare DISP_E_OVERFLOW as error 10).
      if (arg_err) *arg_err = i;
      return ReportException(hr == DISP_E_OVERFLOW ? errors::kOverflow : errors::kTypeMismatch, iid, excep_info);
    }
    hr = ::VariantCopy(&shim.original.ref(), &shim.temporary.ref());
    if (FAILED(hr)) return hr;
    shims.push_back(std::move(shim));
    Shimmed& kept = shims.back();
    VariantInit(&arg);
    if (kind == ParamKind::kStringRef) {
      V_VT(&arg) = VT_BYREF | VT_BSTR;
      V_BSTRREF(&arg) = &V_BSTR(&kept.temporary.ref());
    } else {
      V_VT(&arg) = VT_BYREF | VT_I4;
      V_I4REF(&arg) = &V_I4(&kept.temporary.ref());
    }
  }

  DISPPARAMS converted = params;
  converted.rgvarg = args.data();
  HRESULT hr = CallPlatform(iid, described, instance, id, flags, &converted, result, excep_info, arg_err);
  for (Shimmed& shim : shims) {
    if (!shim.caller || SameValue(shim.temporary.ref(), shim.original.ref())) continue;
    ::VariantClear(shim.caller);
    *shim.caller = shim.temporary.release();
  }
  return hr;
}

// The error boundary of what dispatch serves beyond the type library: an
// error that body throws is reported in EXCEPINFO, as the platform's
// dispatch reports a member's error.
template <typename Body>
HRESULT ServeBeyond(const IID& iid, EXCEPINFO* excep_info, Body&& body) noexcept {
  try {
    body();
    return S_OK;
  } catch (const Error& e) {
    return ReportException(e, iid, excep_info);
  } catch (const std::bad_alloc&) {
    return ReportException(errors::kOutOfMemory, iid, excep_info);
  } catch (...) {
    return ReportError(E_UNEXPECTED, L"Unexpected failure", iid);
  }
}

// DISPID_NEWENUM of a collection that can be walked: a read without
// arguments (VBScript's For Each sends a method call and a property read at
// once, JScript's new Enumerator the method alone) returns a new enumerator
// over the items as Item(1..Count) returns them.
HRESULT InvokeNewEnum(const IID& iid, const Beyond& walk, WORD flags, const DISPPARAMS& params, VARIANT* result,
                      EXCEPINFO* excep_info) {
  if (!(flags & kReadFlags)) return Refuse(DISP_E_MEMBERNOTFOUND, iid);
  if (params.cArgs) return Refuse(DISP_E_BADPARAMCOUNT, iid);
  return ServeBeyond(iid, excep_info, [&] {
    const KeyedCollection& items = walk.items(walk.object);
    Enumerator::Items snapshot;
    snapshot.reserve(static_cast<size_t>(items.Count()));
    for (LONG i = 1; i <= items.Count(); ++i) snapshot.emplace_back(items.ItemAt(i));
    ComPtr<IEnumVARIANT> enumerator = Enumerator::Create(std::move(snapshot));
    if (result) {
      ::VariantInit(result);
      V_VT(result) = VT_UNKNOWN;
      V_UNKNOWN(result) = enumerator.detach();
    }
  });
}

// A property read or assignment with arguments, of a member that takes none
// (x = v.Value(1), v.Value(1) = x): the call goes, arguments and all, to the
// default member of the object that the property returns. No object there
// fails as not a collection. (The platform's dispatch reads through Nothing
// and crashes, and an assignment drops the arguments and assigns the
// property itself.)
HRESULT InvokeOnResult(const IID& iid, const type_info::Interface& described, void* instance, DISPID id,
                       LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep_info,
                       UINT* arg_err) {
  DISPPARAMS none{};
  unique_variant read;
  HRESULT hr = CallPlatform(iid, described, instance, id, DISPATCH_PROPERTYGET, &none, &read.ref(), excep_info,
                            arg_err);
  if (FAILED(hr)) return hr;
  ComPtr<IDispatch> object;
  if (V_VT(&read.ref()) == VT_DISPATCH) object = ComPtr<IDispatch>(V_DISPATCH(&read.ref()));
  else if (V_VT(&read.ref()) == VT_UNKNOWN && V_UNKNOWN(&read.ref()))
    V_UNKNOWN(&read.ref())->QueryInterface(IID_IDispatch, object.put_void());
  // The status, as the platform returns its own dispatch errors: script
  // engines show it by its conventional number (451 in VBScript).
  if (!object) return Refuse(DISP_E_NOTACOLLECTION, iid);
  return object->Invoke(DISPID_VALUE, IID_NULL, lcid, flags, params, result, excep_info, arg_err);
}

// An extra member: its call checked against its kind and argument count as
// the platform's dispatch checks a published member (with the same
// statuses, described), then served by its class inside the error boundary.
// A method is called by a method or read flag, a property read by a read
// flag, and assigned by a put flag without the get flag.
HRESULT InvokeExtra(const IID& iid, const Beyond& beyond, const ExtraMember& member, WORD flags,
                    const DISPPARAMS& params, VARIANT* result, EXCEPINFO* excep_info) {
  ExtraCall call;
  const bool property = member.kind != ExtraMember::kMethod;
  call.put = property && !(flags & DISPATCH_PROPERTYGET) && (flags & kPutFlags);
  UINT named = params.cNamedArgs;
  if (!call.put && !(flags & kReadFlags)) return Refuse(DISP_E_MEMBERNOTFOUND, iid);
  if (call.put && member.kind == ExtraMember::kReadOnlyProperty) return Refuse(DISP_E_MEMBERNOTFOUND, iid);
  if (member.kind == ExtraMember::kMethod) {
    if (named) return Refuse(DISP_E_NONAMEDARGS, iid);
    if (params.cArgs > member.arguments || params.cArgs + member.optional < member.arguments)
      return Refuse(DISP_E_BADPARAMCOUNT, iid);
  } else if (call.put) {
    // A property holds a plain value: there is no reference assignment.
    if (flags & DISPATCH_PROPERTYPUTREF) return Refuse(DISP_E_MEMBERNOTFOUND, iid);
    if (named > 1 || (named == 1 && params.rgdispidNamedArgs[0] != DISPID_PROPERTYPUT))
      return Refuse(DISP_E_NONAMEDARGS, iid);
    if (params.cArgs == 0) return Refuse(DISP_E_BADPARAMCOUNT, iid);
  } else if (named) {
    return Refuse(DISP_E_NONAMEDARGS, iid);
  }
  // Arguments to a property that holds no object (k.View(1), k.View(1) = 2)
  // fail as they do on a published one.
  if (property && params.cArgs > (call.put ? 1u : 0u))
    return Refuse(DISP_E_NOTACOLLECTION, iid);
  // Arguments come in reverse order. An optional one may be passed as
  // missing; a required one may not.
  for (UINT i = 0; i < params.cArgs; ++i) {
    const VARIANT* argument = Referenced(&params.rgvarg[params.cArgs - 1 - i]);
    bool missing = member.kind == ExtraMember::kMethod && V_VT(argument) == VT_ERROR &&
                   V_ERROR(argument) == DISP_E_PARAMNOTFOUND;
    if (missing && i < member.arguments - member.optional) return Refuse(DISP_E_PARAMNOTOPTIONAL, iid);
    call.arguments[i] = missing ? nullptr : argument;
  }
  return ServeBeyond(iid, excep_info, [&] {
    beyond.invoke_extra(beyond.object, member, call);
    if (result && !call.put) {
      ::VariantInit(result);
      *result = call.result.release();
    }
  });
}

}  // namespace

const ExtraMember* Beyond::FindExtra(DISPID id) const noexcept {
  for (size_t i = 0; i < extra_count; ++i)
    if (extras[i].id == id) return &extras[i];
  return nullptr;
}

const ExtraMember* Beyond::FindExtra(const wchar_t* name) const noexcept {
  for (size_t i = 0; i < extra_count; ++i)
    if (::CompareStringOrdinal(name, -1, extras[i].name, -1, TRUE) == CSTR_EQUAL) return &extras[i];
  return nullptr;
}

HRESULT InvokeByTypeInfo(const IID& iid, const type_info::Interface& described, void* instance, DISPID id,
                         LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep_info,
                         UINT* arg_err, const Beyond& beyond) noexcept {
  // No argument array at all is taken as no arguments; arrays that are
  // announced but missing, and arguments that cannot be read, are refused
  // before any member runs.
  DISPPARAMS none{};
  if (!params) params = &none;
  if ((params->cArgs && !params->rgvarg) || (params->cNamedArgs && !params->rgdispidNamedArgs) ||
      params->cNamedArgs > params->cArgs)
    return ReportException(errors::kInvalidProcedureCall, iid, excep_info);
  if (UINT bad = FirstMalformed(*params); bad != params->cArgs) {
    if (arg_err) *arg_err = bad;
    return ReportException(errors::kInvalidProcedureCall, iid, excep_info);
  }
  const Member* member = described.Find(id, flags);
  // What the class serves beyond the type library has identifiers that the
  // library does not use: looked for only when the library has no member.
  if (!member) {
    if (id == DISPID_NEWENUM && beyond.items) return InvokeNewEnum(iid, beyond, flags, *params, result, excep_info);
    if (const ExtraMember* extra = beyond.FindExtra(id))
      return InvokeExtra(iid, beyond, *extra, flags, *params, result, excep_info);
  }
  // A call made as a method of a member that is a property read only (how
  // JScript calls col.Item(1) when it drops the result) reads the property,
  // as automation clients expect of a property that takes arguments.
  if (!member && (flags & (kReadFlags | kPutFlags)) == DISPATCH_METHOD)
    member = described.Find(id, DISPATCH_PROPERTYGET);
  // The flags of a call may name several kinds at once (For Each reads with
  // the method and the get flag; a random caller may send a get flag with a
  // put flag). The platform's dispatch takes the first of the member's
  // accessors whose kind the flags name, in Find's order (method, property
  // read, assignment, reference assignment), whatever the named arguments:
  // a get flag with a put flag reads. An assignment passes its value as the
  // named argument DISPID_PROPERTYPUT, and the platform refuses one without
  // it. The accessor found here is the one the platform would take; from
  // here on the call is that accessor's alone, and the platform gets only
  // its flag (INVOKEKIND and the DISPATCH_ flags share their values), so
  // that it calls what was checked here.
  if (member) flags = static_cast<WORD>(member->kind);
  // A property's only declared parameter is its result, or the value it is
  // assigned: any further argument indexes the object it holds, and without
  // an object there the read or the assignment fails as not a collection,
  // whatever the flags. (The platform's dispatch calls through a null
  // object.)
  bool put = (flags & kPutFlags) != 0;
  if (member && member->kind != INVOKE_FUNC && member->params <= 1 && params->cArgs > (put ? 1u : 0u))
    return InvokeOnResult(iid, described, instance, id, lcid, flags, params, result, excep_info, arg_err);

  // Only positional arguments (a property put's value included) are
  // converted; every other call is the platform's standard dispatch.
  if (!member || !AnyNeedsConversion(*member, *params, put))
    return CallPlatform(iid, described, instance, id, flags, params, result, excep_info, arg_err);

  try {
    return InvokeConverted(iid, described, instance, *member, id, flags, *params, put, result, excep_info, arg_err);
  } catch (...) {
    return ReportException(errors::kOutOfMemory, iid, excep_info);
  }
}

}  // namespace vorn
