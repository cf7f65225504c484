// How errors leave a member: HRESULT plus IErrorInfo, with the conventional
// numbers, and other objects' failures passed on unchanged.
#include <gtest/gtest.h>

#include "contract/guids.h"
#include "automation/errors.h"
#include "harness/com.h"

namespace vorn {
namespace {

using test::ThreadErrorDescription;

TEST(ErrorsTest, GuardReportsConventionalNumbersAndPassesOthersOn) {
  EXPECT_EQ(static_cast<HRESULT>(0x800A01C9), Guard(guids::IID__clsKey, [] { Raise(errors::kDuplicateKey); }));
  EXPECT_EQ(L"This key is already associated with an element of this collection", ThreadErrorDescription());
  EXPECT_EQ(S_OK, Guard(guids::IID__clsKey, [] {}));
  EXPECT_EQ(errors::kOutOfMemory, Guard(guids::IID__clsKey, [] { throw std::bad_alloc(); }));
  // Statuses of the platform's conversions become the conventional errors.
  const HRESULT cases[][2] = {{DISP_E_TYPEMISMATCH, errors::kTypeMismatch},
                              {E_INVALIDARG, errors::kInvalidProcedureCall},
                              {E_OUTOFMEMORY, errors::kOutOfMemory},
                              {DISP_E_OVERFLOW, errors::kOverflow}};
  for (const auto& c : cases) EXPECT_EQ(c[1], Guard(guids::IID__clsKey, [&] { ThrowIfFailed(c[0]); }));
  EXPECT_EQ(L"Overflow", ThreadErrorDescription());

  // Another object's failure keeps its number and the description it left.
  Guard(guids::IID__clsKeys, [] { throw Error(E_ACCESSDENIED, L"callee said no"); });
  EXPECT_EQ(E_ACCESSDENIED, Guard(guids::IID__clsKey, [] { ThrowIfFailed(E_ACCESSDENIED); }));
  EXPECT_EQ(L"callee said no", ThreadErrorDescription());
}

}  // namespace
}  // namespace vorn
