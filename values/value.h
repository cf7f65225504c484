// clsValue: one registry value as a plain record of three public fields.
// Records are made only by the value collection's refresh; assigning a field
// changes the record only, never the registry.
#pragma once

#include "contract/interfaces.h"
#include "platform/dispatch.h"

namespace vorn {

class Value final : public DispatchObject<Value, clsValue, guids::IID_clsValue> {
 public:
  // Used by the value collection while it loads records.
  void SetName(unique_bstr name) noexcept { name_ = std::move(name); }
  BSTR Name() const noexcept { return name_.get(); }
  void SetType(LONG type) noexcept { type_ = type; }
  LONG Type() const noexcept { return type_; }
  // Takes ownership of data.
  void SetData(unique_variant data) noexcept { value_ = std::move(data); }

  // clsValue
  HRESULT STDMETHODCALLTYPE get_Name(BSTR* result) override;
  HRESULT STDMETHODCALLTYPE put_Name(BSTR value) override;
  HRESULT STDMETHODCALLTYPE get_Value(VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE put_Value(VARIANT* value) override;
  HRESULT STDMETHODCALLTYPE putref_Value(VARIANT* value) override;
  HRESULT STDMETHODCALLTYPE get_ValueType(LONG* result) override;
  HRESULT STDMETHODCALLTYPE put_ValueType(LONG value) override;

 private:
  friend class DispatchObject<Value, clsValue, guids::IID_clsValue>;
  Value();

  unique_bstr name_;
  unique_variant value_;
  LONG type_ = 0;  // REG_NONE
};

}  // namespace vorn
