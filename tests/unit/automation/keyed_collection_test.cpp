// The keyed collection: positions, case-insensitive keys, and how an Index
// variant selects.
#include <gtest/gtest.h>

#include <map>

#include "automation/errors.h"
#include "automation/keyed_collection.h"
#include "harness/com.h"
#include "values/value.h"

namespace vorn {
namespace {

using namespace test;

HRESULT ErrorOf(const std::function<void()>& f) try {
  f();
  return S_OK;
} catch (const Error& e) {
  return e.hr();
}

class KeyedCollectionTest : public ::testing::Test {
 protected:
  // One record per name, at positions 1, 2, ...
  void Fill(const std::vector<std::wstring>& names) {
    for (const std::wstring& name : names) {
      records_.push_back(Value::Create());
      collection_.Add(At(records_.size() - 1), name.c_str(), static_cast<UINT>(name.size()));
    }
  }
  IDispatch* At(size_t i) { return records_[i]->Published(); }

  KeyedCollection collection_;
  std::vector<ComPtr<Value>> records_;
};

TEST_F(KeyedCollectionTest, KeysIgnoreCaseAndPositionsCountFromOne) {
  Fill({L"Alpha", L"", L"12", L"beta"});
  EXPECT_EQ(At(0), collection_.ItemByKey(L"ALPHA", 5));
  EXPECT_EQ(At(1), collection_.ItemByKey(L"", 0)) << "the empty key is valid";
  EXPECT_EQ(nullptr, collection_.Find(L"alpha ", 6)) << "keys are not trimmed";
  EXPECT_EQ(errors::kInvalidProcedureCall, ErrorOf([&] { collection_.ItemByKey(L"gamma", 5); }));
  EXPECT_EQ(errors::kDuplicateKey, ErrorOf([&] { collection_.Add(At(0), L"BETA", 4); }));
  EXPECT_EQ(4, collection_.Count()) << "a refused duplicate changes nothing";
  // The registry keeps k and the Kelvin sign apart, so the collection must too.
  Fill({L"k", L"\x212A"});
  EXPECT_EQ(At(4), collection_.ItemByKey(L"K", 1));
  EXPECT_EQ(At(5), collection_.ItemByKey(L"\x212A", 1));
  EXPECT_EQ(At(0), collection_.ItemAt(1));
  EXPECT_EQ(At(3), collection_.ItemAt(4));
  for (LONG outside : {0, 7}) EXPECT_EQ(errors::kSubscriptOutOfRange, ErrorOf([&] { collection_.ItemAt(outside); }));
}

TEST_F(KeyedCollectionTest, IndexVariantSelectsByNumberOrByText) {
  // A number of any numeric type selects a position, rounded like a script
  // rounds; text always selects a key, also text that looks like a number.
  // Script variables arrive by reference.
  Fill({L"Alpha", L"", L"12", L"beta"});
  LONG one = 1;
  unique_variant four = VI4(4), typed_ref;
  V_VT(&typed_ref.ref()) = VT_BYREF | VT_I4;
  V_I4REF(&typed_ref.ref()) = &one;
  struct { unique_variant index; size_t item; } found[] = {
      {Of(VT_I2, 2), 1}, {Of(VT_R8, 2.6), 2}, {VStr(L"12"), 2}, {unique_variant(Ref(four.ref())), 3},
      {std::move(typed_ref), 0}};
  for (auto& c : found) EXPECT_EQ(At(c.item), collection_.Item(c.index.ref())) << "item " << c.item;
  EXPECT_EQ(errors::kInvalidProcedureCall, ErrorOf([&] { collection_.Item(VStr(L"1").ref()); }));
  EXPECT_EQ(errors::kInvalidProcedureCall, ErrorOf([&] { collection_.Item(Of(VT_NULL).ref()); }));
  EXPECT_EQ(errors::kOverflow, ErrorOf([&] { collection_.Item(Of(VT_R8, 1e12).ref()); }));
}

TEST(KeyedCollectionFolding, MatchesExactlyWhereThePlatformsInvariantUpperCaseAgrees) {
  // Names of two units from letters whose folding differs between ASCII,
  // the platform's mapping and lower-casing; one of each pair of names that
  // fold alike is refused as a duplicate, and every name then finds exactly
  // the item whose name folds as it does. Hundreds of keys also make the
  // index grow while it holds them.
  const std::wstring letters = L"aAkK\x212AsS\x017F\x00E9\x00C9\x00DFiI\x0131\x0130@[`{";
  auto fold = [](const std::wstring& s) {
    std::wstring out(s.size(), L'\0');
    ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, s.data(), static_cast<int>(s.size()), out.data(),
                    static_cast<int>(out.size()), nullptr, nullptr, 0);
    return out;
  };
  std::vector<std::wstring> names;
  for (wchar_t a : letters)
    for (wchar_t b : letters) names.push_back({a, b});
  std::vector<ComPtr<Value>> records;
  KeyedCollection collection(&Value::KeyOf);
  std::map<std::wstring, IDispatch*> held;  // by folded name
  for (const std::wstring& name : names) {
    records.push_back(Value::Create(name.data(), static_cast<UINT>(name.size())));
    IDispatch* item = records.back()->Published();
    bool duplicate = held.count(fold(name)) > 0;
    EXPECT_EQ(duplicate ? errors::kDuplicateKey : S_OK, ErrorOf([&] { collection.Add(item); })) << Narrow(name);
    if (!duplicate) held[fold(name)] = item;
  }
  EXPECT_EQ(static_cast<LONG>(held.size()), collection.Count());
  for (const std::wstring& name : names)
    EXPECT_EQ(held[fold(name)], collection.Find(name.data(), static_cast<UINT>(name.size()))) << Narrow(name);
  EXPECT_EQ(nullptr, collection.Find(L"a", 1));
}

// A collection over a source: positions added one by one under the keys the
// source gives, a duplicate refused without a trace, and lookups right while
// adding, once sealed (in both widths of the sealed index: positions within
// 16 bits and beyond) and after adding again.
TEST(KeyedCollectionSource, FindsEveryKeyWhileAddingSealedAndAfter) {
  struct Names final : KeyedCollection::Source {
    std::vector<std::wstring> keys;
    std::wstring_view KeyAt(size_t position) const noexcept override { return keys[position]; }
    // Stand-ins, never followed: the collection only hands them back.
    IDispatch* ItemAt(size_t position) override { return reinterpret_cast<IDispatch*>((position + 1) * 8); }
  };
  auto item = [](size_t position) { return reinterpret_cast<IDispatch*>((position + 1) * 8); };
  for (size_t n : {3u, 70000u}) {
    Names source;
    KeyedCollection collection(&source);
    auto add = [&](const std::wstring& key) {
      source.keys.push_back(key);
      HRESULT hr = ErrorOf([&] { collection.AddNext(); });
      if (FAILED(hr)) source.keys.pop_back();
      return hr;
    };
    for (size_t i = 0; i < n; ++i) ASSERT_EQ(S_OK, add(L"Key" + std::to_wstring(i)));
    EXPECT_EQ(errors::kDuplicateKey, add(L"KEY1"));
    auto check = [&](size_t count) {
      ASSERT_EQ(static_cast<LONG>(count), collection.Count());
      for (size_t i : {size_t{0}, n / 2, n - 1}) {
        std::wstring key = L"key" + std::to_wstring(i);
        EXPECT_EQ(item(i), collection.Find(key.c_str(), static_cast<UINT>(key.size())));
      }
      EXPECT_FALSE(collection.Holds(L"Key", 3));
      EXPECT_EQ(item(count - 1), collection.ItemAt(static_cast<LONG>(count)));
    };
    check(n);
    collection.Seal();
    check(n);
    EXPECT_EQ(errors::kDuplicateKey, add(L"key0"));
    EXPECT_EQ(S_OK, add(L"Extra"));
    check(n + 1);
    EXPECT_EQ(item(n), collection.Find(L"EXTRA", 5));
  }
}

}  // namespace
}  // namespace vorn
