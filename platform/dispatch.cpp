#include "platform/dispatch.h"

#include <oleauto.h>

#include <vector>

namespace vorn {

namespace {

// Owns a FUNCDESC obtained from a type info.
class FuncDesc {
 public:
  FuncDesc(ITypeInfo* info, FUNCDESC* desc) noexcept : info_(info), desc_(desc) {}
  FuncDesc(const FuncDesc&) = delete;
  FuncDesc& operator=(const FuncDesc&) = delete;
  ~FuncDesc() {
    if (desc_) info_->ReleaseFuncDesc(desc_);
  }
  const FUNCDESC* operator->() const noexcept { return desc_; }
  explicit operator bool() const noexcept { return desc_ != nullptr; }

 private:
  ITypeInfo* info_;
  FUNCDESC* desc_;
};

// The member that a call with these flags reaches, or none.
FUNCDESC* FindFunction(ITypeInfo* info, DISPID id, WORD flags) {
  ComPtr<ITypeInfo2> info2;
  if (FAILED(info->QueryInterface(IID_ITypeInfo2, info2.put_void()))) return nullptr;
  static const struct {
    WORD flag;
    INVOKEKIND kind;
  } kKinds[] = {{DISPATCH_METHOD, INVOKE_FUNC},
                {DISPATCH_PROPERTYGET, INVOKE_PROPERTYGET},
                {DISPATCH_PROPERTYPUT, INVOKE_PROPERTYPUT},
                {DISPATCH_PROPERTYPUTREF, INVOKE_PROPERTYPUTREF}};
  for (const auto& k : kKinds) {
    if (!(flags & k.flag)) continue;
    UINT index = 0;
    if (FAILED(info2->GetFuncIndexOfMemId(id, k.kind, &index))) continue;
    FUNCDESC* desc = nullptr;
    if (SUCCEEDED(info->GetFuncDesc(index, &desc))) return desc;
  }
  return nullptr;
}

// VT_BSTR or VT_I4 when the parameter is a reference to a string or to a
// 32-bit integer (an enumeration counts as one); VT_EMPTY otherwise.
VARTYPE ReferencedScalar(ITypeInfo* info, const TYPEDESC& type) {
  if (type.vt != VT_PTR || !type.lptdesc) return VT_EMPTY;
  const TYPEDESC& target = *type.lptdesc;
  if (target.vt == VT_BSTR || target.vt == VT_I4) return target.vt;
  if (target.vt != VT_USERDEFINED) return VT_EMPTY;
  ComPtr<ITypeInfo> referenced;
  if (FAILED(info->GetRefTypeInfo(target.hreftype, referenced.put()))) return VT_EMPTY;
  TYPEATTR* attr = nullptr;
  if (FAILED(referenced->GetTypeAttr(&attr))) return VT_EMPTY;
  bool is_enum = attr->typekind == TKIND_ENUM;
  referenced->ReleaseTypeAttr(attr);
  return is_enum ? VT_I4 : VT_EMPTY;
}

// One argument converted into a temporary of its declared type.
struct Shimmed {
  VARIANT* caller;  // the caller's VT_BYREF|VT_VARIANT argument
  unique_variant temporary;
  unique_variant original;  // the temporary as it was before the call
};

bool SameValue(const VARIANT& a, const VARIANT& b) {
  if (V_VT(&a) != V_VT(&b)) return false;
  if (V_VT(&a) == VT_BSTR) return SameText(V_BSTR(&a), V_BSTR(&b));
  if (V_VT(&a) == VT_I4) return V_I4(&a) == V_I4(&b);
  return false;
}

}  // namespace

HRESULT InvokeByTypeInfo(ITypeInfo* info, void* instance, DISPID id, WORD flags, DISPPARAMS* params,
                         VARIANT* result, EXCEPINFO* excep_info, UINT* arg_err) noexcept {
  FUNCDESC* found = FindFunction(info, id, flags);
  // A call made as a method of a member that is a property read only (how
  // JScript calls col.Item(1) when it drops the result) reads the property,
  // as automation clients expect of a property that takes arguments.
  if (!found && flags == DISPATCH_METHOD && (found = FindFunction(info, id, DISPATCH_PROPERTYGET)))
    flags |= DISPATCH_PROPERTYGET;
  FuncDesc func(info, found);
  if (!params) return info->Invoke(instance, id, flags, params, result, excep_info, arg_err);
  // Only positional arguments (a property put's value included) are
  // converted; every other call is the platform's standard dispatch.
  bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  UINT named_allowed = put ? 1 : 0;
  if (!func || params->cNamedArgs > named_allowed || params->cArgs == 0 ||
      params->cArgs > static_cast<UINT>(func->cParams))
    return info->Invoke(instance, id, flags, params, result, excep_info, arg_err);

  try {
    std::vector<VARIANTARG> args(params->rgvarg, params->rgvarg + params->cArgs);
    std::vector<Shimmed> shims;
    shims.reserve(params->cArgs);
    for (UINT i = 0; i < params->cArgs; ++i) {
      // Arguments come in reverse order: rgvarg[cArgs-1] is the first
      // parameter; a property put's value, rgvarg[0], is the last one.
      UINT arg_index = params->cArgs - 1 - i;
      UINT param_index = (put && arg_index == 0) ? static_cast<UINT>(func->cParams) - 1 : i;
      VARIANTARG& arg = args[arg_index];
      if (V_VT(&arg) != (VT_BYREF | VT_VARIANT) || !V_VARIANTREF(&arg)) continue;
      VARTYPE declared = ReferencedScalar(info, func->lprgelemdescParam[param_index].tdesc);
      if (declared == VT_EMPTY) continue;
      Shimmed shim{V_VARIANTREF(&arg), {}, {}};
      HRESULT hr = ::VariantChangeType(&shim.temporary.ref(), shim.caller, 0, declared);
      if (FAILED(hr)) {
        if (arg_err) *arg_err = arg_index;
        return hr == DISP_E_OVERFLOW ? DISP_E_OVERFLOW : DISP_E_TYPEMISMATCH;
      }
      hr = ::VariantCopy(&shim.original.ref(), &shim.temporary.ref());
      if (FAILED(hr)) return hr;
      shims.push_back(std::move(shim));
      Shimmed& kept = shims.back();
      VariantInit(&arg);
      V_VT(&arg) = VT_BYREF | declared;
      if (declared == VT_BSTR)
        V_BSTRREF(&arg) = &V_BSTR(&kept.temporary.ref());
      else
        V_I4REF(&arg) = &V_I4(&kept.temporary.ref());
    }
    if (shims.empty()) return info->Invoke(instance, id, flags, params, result, excep_info, arg_err);

    DISPPARAMS converted = *params;
    converted.rgvarg = args.data();
    HRESULT hr = info->Invoke(instance, id, flags, &converted, result, excep_info, arg_err);
    for (Shimmed& shim : shims) {
      if (SameValue(shim.temporary.ref(), shim.original.ref())) continue;
      ::VariantClear(shim.caller);
      *shim.caller = shim.temporary.release();
    }
    return hr;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace vorn
