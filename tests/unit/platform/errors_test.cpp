// How errors leave a member: HRESULT plus IErrorInfo, with the conventional
// numbers, and other objects' failures passed on unchanged.
#include <gtest/gtest.h>

#include "platform/errors.h"
#include "platform/handles.h"
#include "surface/guids.h"

namespace vorn {
namespace {

std::wstring ThreadErrorDescription() {
  ComPtr<IErrorInfo> info;
  if (::GetErrorInfo(0, info.put()) != S_OK || !info) return L"<none>";
  unique_bstr text;
  info->GetDescription(text.put());
  return std::wstring(text.get() ? text.get() : L"", ::SysStringLen(text.get()));
}

TEST(ErrorsTest, GuardReportsNumberAndDescription) {
  HRESULT hr = Guard(guids::IID__clsKey, [] { Raise(errors::kDuplicateKey); });
  EXPECT_EQ(static_cast<HRESULT>(0x800A01C9), hr);
  EXPECT_EQ(L"This key is already associated with an element of this collection", ThreadErrorDescription());

  EXPECT_EQ(S_OK, Guard(guids::IID__clsKey, [] {}));
  EXPECT_EQ(errors::kOutOfMemory, Guard(guids::IID__clsKey, [] { throw std::bad_alloc(); }));
}

TEST(ErrorsTest, ConversionStatusesBecomeConventionalErrors) {
  struct Case {
    HRESULT given, raised;
  } cases[] = {{DISP_E_OVERFLOW, errors::kOverflow},
               {DISP_E_TYPEMISMATCH, errors::kTypeMismatch},
               {E_INVALIDARG, errors::kInvalidProcedureCall},
               {E_OUTOFMEMORY, errors::kOutOfMemory}};
  for (const Case& c : cases) {
    HRESULT hr = Guard(guids::IID__clsKey, [&] { ThrowIfFailed(c.given); });
    EXPECT_EQ(c.raised, hr);
  }
  EXPECT_EQ(L"Overflow", DescriptionOf(errors::kOverflow));
}

TEST(ErrorsTest, AnotherObjectsFailureKeepsItsNumberAndDescription) {
  // The callee left its own error information before failing.
  Guard(guids::IID__clsKeys, [] { throw Error(E_ACCESSDENIED, L"callee said no"); });
  HRESULT hr = Guard(guids::IID__clsKey, [] { ThrowIfFailed(E_ACCESSDENIED); });
  EXPECT_EQ(E_ACCESSDENIED, hr);
  EXPECT_EQ(L"callee said no", ThreadErrorDescription());
}

}  // namespace
}  // namespace vorn
