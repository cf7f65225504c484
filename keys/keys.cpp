#include "keys/keys.h"

#include "platform/strings.h"

namespace vorn {

Keys::Keys() : path_(MakeBstr(L"")) {}

HRESULT Keys::get_KeyExists(BSTR*, VARIANT_BOOL*) { return E_NOTIMPL; }
HRESULT Keys::get_Item(VARIANT*, _clsKey**) { return E_NOTIMPL; }
HRESULT Keys::get_Count(LONG*) { return E_NOTIMPL; }
HRESULT Keys::Add(BSTR*, VARIANT_BOOL*) { return E_NOTIMPL; }
HRESULT Keys::Delete(BSTR*, VARIANT_BOOL*) { return E_NOTIMPL; }
HRESULT Keys::Refresh() { return E_NOTIMPL; }

HRESULT Keys::get_Path(BSTR* result) {
  VORN_CHECK_OUT(result);
  *result = nullptr;
  return Boundary([&] { *result = CopyBstr(path_.get()).release(); });
}

HRESULT Keys::put_Path(BSTR* strPath) {
  VORN_CHECK_OUT(strPath);
  return Boundary([&] { path_ = strings::NormaliseKeyPath(*strPath); });
}

HRESULT Keys::get_HKEY(LONG* result) {
  VORN_CHECK_OUT(result);
  *result = hkey_;
  return S_OK;
}

HRESULT Keys::put_HKEY(LONG* lngHKEY) {
  VORN_CHECK_OUT(lngHKEY);
  hkey_ = *lngHKEY;
  return S_OK;
}

}  // namespace vorn
