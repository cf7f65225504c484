// The key's facts through IDispatch: LastWriteTime, SubKeyCount and
// ValueCount as RegQueryInfoKeyW reports them, and the Date arithmetic.
#include "keys/key.h"
#include "keys/key_facts.h"
#include "harness/registry_test.h"

namespace vorn {
namespace {

using namespace test;

// The FILETIME of a moment, plus ticks of 100 ns.
FILETIME At(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second, WORD ms, ULONGLONG ticks = 0) {
  SYSTEMTIME st{year, month, 0, day, hour, minute, second, ms};
  FILETIME ft{};
  EXPECT_TRUE(::SystemTimeToFileTime(&st, &ft));
  ULONGLONG t = (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32 | ft.dwLowDateTime) + ticks;
  return {static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
}

TEST(KeyFacts, DatesCountDaysFrom1899ToTheNearestMillisecond) {
  using key_facts::DateFromFileTime;
  EXPECT_EQ(0.0, DateFromFileTime(At(1899, 12, 30, 0, 0, 0, 0)));
  EXPECT_EQ(36526.5, DateFromFileTime(At(2000, 1, 1, 12, 0, 0, 0)));
  EXPECT_EQ(-1.25, DateFromFileTime(At(1899, 12, 29, 6, 0, 0, 0)));  // days down, the time of day up
  EXPECT_EQ(DateFromFileTime(At(2024, 5, 6, 7, 8, 9, 10)), DateFromFileTime(At(2024, 5, 6, 7, 8, 9, 10, 4999)));
  EXPECT_EQ(DateFromFileTime(At(2024, 5, 6, 7, 8, 9, 11)), DateFromFileTime(At(2024, 5, 6, 7, 8, 9, 10, 5000)));
  EXPECT_NEAR(45418.297327, DateFromFileTime(At(2024, 5, 6, 7, 8, 9, 10)), 1e-6);
}

class KeyFactsTest : public RegistryTest {
 protected:
  static unique_variant Fact(Key* key, const wchar_t* name, HRESULT expected = S_OK) {
    unique_variant result;
    EXPECT_EQ(expected, Invoke(key->Published(), name, DISPATCH_PROPERTYGET, {}, &result.ref())) << Narrow(name);
    return result;
  }
};

TEST_F(KeyFactsTest, AreWhatTheRegistryReportsNow) {
  scratch_.CreateKey(L"one");
  scratch_.CreateKey(L"two\\deeper");
  scratch_.SetDword(L"", L"a", 1);
  auto key = Aimed<Key>(scratch_.Path());
  auto query = [&](DWORD& sub_keys, DWORD& values) {
    HKEY raw = nullptr;
    FILETIME written{}, local{};
    ::RegOpenKeyExW(HKEY_CURRENT_USER, scratch_.Path().c_str(), 0, KEY_READ, &raw);
    EXPECT_EQ(ERROR_SUCCESS, ::RegQueryInfoKeyW(raw, nullptr, nullptr, nullptr, &sub_keys, nullptr, nullptr, &values,
                                                nullptr, nullptr, nullptr, &written));
    ::RegCloseKey(raw);
    ::FileTimeToLocalFileTime(&written, &local);
    return key_facts::DateFromFileTime(local);
  };
  DWORD sub_keys = 0, values = 0;
  DATE before = query(sub_keys, values);
  unique_variant written = Fact(key.get(), L"LastWriteTime");
  ASSERT_EQ(VT_DATE, V_VT(&written.ref()));
  EXPECT_EQ(before, V_DATE(&written.ref()));
  ::Sleep(20);
  scratch_.SetDword(L"", L"b", 2);  // a value set moves it forward
  DATE after = query(sub_keys, values);
  EXPECT_GT(after, before);
  EXPECT_EQ(after, V_DATE(&Fact(key.get(), L"lastwritetime").ref()));
  for (auto [name, expected] : {std::pair{L"SubKeyCount", sub_keys}, std::pair{L"ValueCount", values}}) {
    unique_variant count = Fact(key.get(), name);
    EXPECT_EQ(VT_I4, V_VT(&count.ref()));
    EXPECT_EQ(static_cast<LONG>(expected), V_I4(&count.ref())) << Narrow(name);
  }
  EXPECT_EQ(2u, sub_keys);
  EXPECT_EQ(2u, values);
  EXPECT_EQ(0u, CallsOf(Fn::EnumKeyEx) + CallsOf(Fn::EnumValue));  // no collection loaded

  auto missing = Aimed<Key>(scratch_.Below(L"gone"));
  for (const wchar_t* name : {L"LastWriteTime", L"SubKeyCount", L"ValueCount"}) {
    Fact(missing.get(), name, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_NE(std::wstring::npos, ThreadErrorDescription().find(L"gone\" does not exist")) << Narrow(name);
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Invoke(key->Published(), name, DISPATCH_PROPERTYPUT, {VI4(1).ref()}));
  }
}

}  // namespace
}  // namespace vorn
