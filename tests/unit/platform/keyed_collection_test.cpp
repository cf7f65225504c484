// The keyed collection: positions, case-insensitive keys, and how an Index
// variant selects.
#include <gtest/gtest.h>

#include "platform/errors.h"
#include "platform/keyed_collection.h"
#include "support/com.h"
#include "values/value.h"

namespace vorn {
namespace {

using test::B;

ComPtr<Value> Record(const wchar_t* name) {
  auto v = Value::Create();
  v->SetName(B(name));
  return v;
}

HRESULT ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const Error& e) {
    return e.hr();
  }
  return S_OK;
}

class KeyedCollectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const wchar_t* name : {L"Alpha", L"", L"12", L"beta"}) {
      auto r = Record(name);
      records_.push_back(r);
      unique_bstr key = B(name);
      collection_.Add(r->Published(), key.get());
    }
  }
  IDispatch* At(size_t i) { return records_[i]->Published(); }

  KeyedCollection collection_;
  std::vector<ComPtr<Value>> records_;
};

TEST_F(KeyedCollectionTest, KeysIgnoreCaseAndTheEmptyKeyIsValid) {
  EXPECT_EQ(4, collection_.Count());
  EXPECT_EQ(At(0), collection_.ItemByKey(L"ALPHA", 5));
  EXPECT_EQ(At(3), collection_.ItemByKey(L"Beta", 4));
  EXPECT_EQ(At(1), collection_.ItemByKey(L"", 0));
  EXPECT_EQ(nullptr, collection_.Find(L"alpha ", 6)) << "keys are not trimmed";
  EXPECT_EQ(errors::kInvalidProcedureCall, ErrorOf([&] { collection_.ItemByKey(L"gamma", 5); }));
}

TEST_F(KeyedCollectionTest, DuplicateKeyFailsAndChangesNothing) {
  auto extra = Record(L"x");
  EXPECT_EQ(errors::kDuplicateKey, ErrorOf([&] { collection_.Add(extra->Published(), L"BETA", 4); }));
  EXPECT_EQ(4, collection_.Count());
  EXPECT_EQ(At(3), collection_.ItemAt(4));
}

TEST_F(KeyedCollectionTest, PositionsCountFromOne) {
  EXPECT_EQ(At(0), collection_.ItemAt(1));
  EXPECT_EQ(At(3), collection_.ItemAt(4));
  EXPECT_EQ(errors::kSubscriptOutOfRange, ErrorOf([&] { collection_.ItemAt(0); }));
  EXPECT_EQ(errors::kSubscriptOutOfRange, ErrorOf([&] { collection_.ItemAt(5); }));
}

TEST_F(KeyedCollectionTest, IndexVariantSelectsByNumberOrByText) {
  // A number of any numeric type selects a position, rounded like a script
  // rounds; text always selects a key, also text that looks like a number.
  unique_variant i2;
  V_VT(&i2.ref()) = VT_I2;
  V_I2(&i2.ref()) = 2;
  EXPECT_EQ(At(1), collection_.Item(i2.ref()));
  unique_variant r8;
  V_VT(&r8.ref()) = VT_R8;
  V_R8(&r8.ref()) = 2.6;
  EXPECT_EQ(At(2), collection_.Item(r8.ref()));
  unique_variant text = test::VStr(L"12");
  EXPECT_EQ(At(2), collection_.Item(text.ref()));
  unique_variant one = test::VStr(L"1");
  EXPECT_EQ(errors::kInvalidProcedureCall, ErrorOf([&] { collection_.Item(one.ref()); }));

  // Script variables arrive by reference.
  unique_variant four = test::VI4(4);
  VARIANT ref = test::Ref(four.ref());
  EXPECT_EQ(At(3), collection_.Item(ref));
  LONG position = 1;
  VARIANT typed_ref;
  V_VT(&typed_ref) = VT_BYREF | VT_I4;
  V_I4REF(&typed_ref) = &position;
  EXPECT_EQ(At(0), collection_.Item(typed_ref));

  unique_variant null;
  V_VT(&null.ref()) = VT_NULL;
  EXPECT_EQ(errors::kInvalidProcedureCall, ErrorOf([&] { collection_.Item(null.ref()); }));
  unique_variant huge;
  V_VT(&huge.ref()) = VT_R8;
  V_R8(&huge.ref()) = 1e12;
  EXPECT_EQ(errors::kOverflow, ErrorOf([&] { collection_.Item(huge.ref()); }));
}

TEST(KeyedCollectionScale, TenThousandItemsByPositionAndKey) {
  KeyedCollection c;
  std::vector<ComPtr<Value>> held;
  for (int i = 0; i < 10000; ++i) {
    std::wstring name = L"Name" + std::to_wstring(i);
    held.push_back(Record(name.c_str()));
    c.Add(held.back()->Published(), name.c_str(), static_cast<UINT>(name.size()));
  }
  for (LONG i = 1; i <= c.Count(); ++i) ASSERT_EQ(held[i - 1]->Published(), c.ItemAt(i));
  EXPECT_EQ(held[9999]->Published(), c.ItemByKey(L"NAME9999", 8));
}

}  // namespace
}  // namespace vorn
