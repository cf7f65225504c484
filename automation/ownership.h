// Owners of the automation types: unique_bstr and unique_variant (from
// unique_any) and ComPtr for interface pointers, with the BSTR and
// by-reference VARIANT helpers. Every path, normal or error, releases.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <oleauto.h>

#include <cstring>
#include <utility>

#include "support/unique_any.h"

namespace vorn {

struct bstr_traits {
  using type = BSTR;
  static BSTR invalid() noexcept { return nullptr; }
  static bool is_invalid(BSTR b) noexcept { return b == nullptr; }
  static void close(BSTR b) noexcept { ::SysFreeString(b); }
};

struct variant_traits {
  using type = VARIANT;
  static VARIANT invalid() noexcept {
    VARIANT v;
    ::VariantInit(&v);
    return v;
  }
  static bool is_invalid(const VARIANT& v) noexcept { return V_VT(&v) == VT_EMPTY; }
  static void close(VARIANT& v) noexcept { ::VariantClear(&v); }
};

using unique_bstr = unique_any<bstr_traits>;
using unique_variant = unique_any<variant_traits>;

// The variable behind a variant passed by reference: script engines pass a
// variable as a reference to a VARIANT (one level only: see below).
inline VARIANT* Referenced(VARIANT* v) noexcept {
  return V_VT(v) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(v) ? V_VARIANTREF(v) : v;
}
inline const VARIANT* Referenced(const VARIANT* v) noexcept { return Referenced(const_cast<VARIANT*>(v)); }

// True for an argument that no well-formed call passes and that must not be
// read: passed by reference through a null pointer (itself, or the VARIANT
// it refers to), or a reference to a VARIANT that is again a reference to a
// VARIANT, which COM forbids (script engines flatten their own chains of
// references; a cycle of them would never end).
inline bool IsMalformedReference(const VARIANT* v) noexcept {
  if (!(V_VT(v) & VT_BYREF)) return false;
  if (!V_BYREF(v)) return true;
  if (V_VT(v) != (VT_BYREF | VT_VARIANT)) return false;
  const VARIANT* target = V_VARIANTREF(v);
  if (V_VT(target) == (VT_BYREF | VT_VARIANT)) return true;
  return (V_VT(target) & VT_BYREF) && !V_BYREF(target);
}

// Allocates a BSTR copy of a counted UTF-16 text; throws on allocation failure.
unique_bstr MakeBstr(const wchar_t* text, UINT length);
unique_bstr MakeBstr(const wchar_t* text);
inline unique_bstr CopyBstr(BSTR b) { return MakeBstr(b, ::SysStringLen(b)); }

// A VARIANT holding a copy of length units of text (VT_BSTR); throws on
// allocation failure. And one holding a Boolean (VT_BOOL).
unique_variant TextVariant(const wchar_t* text, size_t length);
unique_variant BoolVariant(bool value) noexcept;

// True when both strings hold the same characters (a null BSTR is empty).
inline bool SameText(BSTR a, BSTR b) noexcept {
  UINT la = ::SysStringLen(a), lb = ::SysStringLen(b);
  return la == lb && (la == 0 || std::memcmp(a, b, la * sizeof(wchar_t)) == 0);
}

// ComPtr<T>: owns one reference to a COM interface.
template <typename T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ComPtr(std::nullptr_t) noexcept {}
  // Takes a new reference to p.
  explicit ComPtr(T* p) noexcept : p_(p) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& o) noexcept : ComPtr(o.p_) {}
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  template <typename U>
  ComPtr(ComPtr<U>&& o) noexcept : p_(o.detach()) {}
  ComPtr& operator=(const ComPtr& o) noexcept {
    ComPtr(o).swap(*this);
    return *this;
  }
  ComPtr& operator=(ComPtr&& o) noexcept {
    ComPtr(std::move(o)).swap(*this);
    return *this;
  }
  ~ComPtr() { reset(); }

  // Adopts a reference that the caller already owns.
  static ComPtr adopt(T* p) noexcept {
    ComPtr c;
    c.p_ = p;
    return c;
  }

  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  T** put() noexcept {
    reset();
    return &p_;
  }
  void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
  T* detach() noexcept { return std::exchange(p_, nullptr); }
  void reset() noexcept {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  void swap(ComPtr& o) noexcept { std::swap(p_, o.p_); }

  // A new reference for an out-parameter.
  T* copy() const noexcept {
    if (p_) p_->AddRef();
    return p_;
  }

  template <typename U>
  ComPtr<U> query(const IID& iid) const noexcept {
    ComPtr<U> out;
    if (p_) p_->QueryInterface(iid, out.put_void());
    return out;
  }

 private:
  T* p_ = nullptr;
};

}  // namespace vorn
