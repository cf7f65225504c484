#include "values/values.h"

#include "platform/strings.h"

namespace vorn {

Values::Values() : path_(MakeBstr(L"")) {}

HRESULT Values::get_ValueExists(BSTR*, VARIANT_BOOL*) { return E_NOTIMPL; }
HRESULT Values::get_Item(VARIANT*, clsValue**) { return E_NOTIMPL; }
HRESULT Values::get_Count(LONG*) { return E_NOTIMPL; }
HRESULT Values::Add(BSTR*, VARIANT*, LONG*, VARIANT_BOOL*) { return E_NOTIMPL; }
HRESULT Values::Delete(BSTR*, VARIANT_BOOL*) { return E_NOTIMPL; }
HRESULT Values::Refresh() { return E_NOTIMPL; }

HRESULT Values::get_Path(BSTR* result) {
  VORN_CHECK_OUT(result);
  *result = nullptr;
  return Boundary([&] { *result = CopyBstr(path_.get()).release(); });
}

HRESULT Values::put_Path(BSTR* strPath) {
  VORN_CHECK_OUT(strPath);
  return Boundary([&] { path_ = strings::TrimSpaces(*strPath); });
}

HRESULT Values::get_HKEY(LONG* result) {
  VORN_CHECK_OUT(result);
  *result = hkey_;
  return S_OK;
}

HRESULT Values::put_HKEY(LONG* lngHKEY) {
  VORN_CHECK_OUT(lngHKEY);
  hkey_ = *lngHKEY;
  return S_OK;
}

}  // namespace vorn
