// The value collection and its records: loading and decoding, lookups, the
// writing members, and what a refresh does when registry calls fail.
#include <winternl.h>

#include "automation/module_count.h"
#include "registry/service.h"
#include "harness/registry_test.h"
#include "values/values.h"

namespace vorn {
namespace {

using namespace test;

std::vector<BYTE> Wide(const std::wstring& s, bool terminated = true) {
  const BYTE* p = reinterpret_cast<const BYTE*>(s.c_str());
  return std::vector<BYTE>(p, p + (s.size() + terminated) * sizeof(wchar_t));
}

class ValuesTest : public RegistryTest {
 protected:
  ComPtr<Values> Open(const std::wstring& sub = L"") { return Aimed<Values>(scratch_.Below(sub)); }
  static ComPtr<clsValue> Named(Values* values, const std::wstring& name) { return Item(values, VStr(name)); }
  static unique_variant DataOf(clsValue* record) { return unique_variant(Read(record, &clsValue::get_Value)); }
  static bool Exists(Values* values, const std::wstring& name) { return Ask(values, &Values::get_ValueExists, name); }
  // The one SetValueEx call since the recorder was reset, or null.
  static const Call* Written() {
    auto set = std::find_if(Rec().calls.begin(), Rec().calls.end(), [](auto& c) { return c.fn == Fn::SetValueEx; });
    return set == Rec().calls.end() ? nullptr : &*set;
  }
  // Add through the vtable, as a C++ client passing its variable by reference.
  static bool Add(Values* values, const std::wstring& name, VARIANT& value, LONG type, HRESULT hr = S_OK) {
    VARIANT_BOOL b = 1;
    VARIANT ref = Ref(value);
    EXPECT_EQ(hr, values->Add(&B(name).ref(), &ref, &type, &b));
    return b == VARIANT_TRUE;
  }
};

TEST_F(ValuesTest, DecodesDwordAndStringDataAndLeavesOtherTypesEmpty) {
  const std::wstring long_text(5000, L'x');
  // A value as given to RegSetValueExW, and the record's Value: its type, and its text or number.
  const struct { std::wstring name; DWORD type; std::vector<BYTE> bytes; VARTYPE vt; std::wstring text; LONG number; }
  table[] = {
      {L"", REG_SZ, Wide(L"default"), VT_BSTR, L"default", 0},
      {L"a dword", REG_DWORD, {0x78, 0x56, 0x34, 0x12}, VT_I4, L"", 0x12345678},
      {L"all bits", REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}, VT_I4, L"", -1},
      // Lists after "all bits" on every platform: its upper bytes must not
      // come from the value read before it.
      {L"b short dword", REG_DWORD, {0x34, 0x12}, VT_I4, L"", 0x1234},
      {L"dword of 8 bytes", REG_DWORD, {1, 0, 0, 0, 0, 0, 0, 0}, VT_EMPTY, L"", 0},
      {L"text", REG_SZ, Wide(L"hello"), VT_BSTR, L"hello", 0},
      {L"only the zero", REG_SZ, Wide(L""), VT_BSTR, L"", 0},
      {L"no data", REG_SZ, {}, VT_BSTR, L"", 0},
      {L"unterminated", REG_SZ, Wide(L"abc", false), VT_BSTR, L"abc", 0},
      {L"inner zero", REG_SZ, Wide(std::wstring(L"a\0b", 3)), VT_BSTR, std::wstring(L"a\0b", 3), 0},
      {L"long text", REG_SZ, Wide(long_text), VT_BSTR, long_text, 0},
      {L"expand", REG_EXPAND_SZ, Wide(L"%PATH%"), VT_EMPTY, L"", 0},
      {L"binary", REG_BINARY, {1, 2, 3}, VT_EMPTY, L"", 0},
      {L"multi", REG_MULTI_SZ, Wide(std::wstring(L"a\0b\0", 4)), VT_EMPTY, L"", 0},
      {L"big endian", REG_DWORD_BIG_ENDIAN, {0, 0, 0, 1}, VT_EMPTY, L"", 0},
      {L"qword", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}, VT_EMPTY, L"", 0},
      {L"odd byte", REG_SZ, {'a', 0, 'b', 0, 'c'}, VT_BSTR, L"ab", 0},
      // Beside "a": its own record, under its own name, with its own data.
      {L"a", REG_SZ, Wide(L"plain"), VT_BSTR, L"plain", 0},
      {L"\u0101", REG_SZ, Wide(L"\u6F22\xD83D\xDE00"), VT_BSTR, L"\u6F22\xD83D\xDE00", 0},
      {std::wstring(16383, L'n'), REG_SZ, Wide(L"longest name"), VT_BSTR, L"longest name", 0},
  };
  for (const auto& s : table) scratch_.SetRaw(L"", s.name, s.type, s.bytes.data(), static_cast<DWORD>(s.bytes.size()));
  scratch_.CreateKey(L"sub");

  auto values = Open();
  ASSERT_EQ(static_cast<LONG>(std::size(table)), Count(values.get()));
  for (const auto& s : table) {
    SCOPED_TRACE(Narrow(s.name.substr(0, 20)));
    ComPtr<clsValue> record = Named(values.get(), s.name);
    ASSERT_TRUE(record);
    EXPECT_EQ(static_cast<LONG>(s.type), Read(record.get(), &clsValue::get_ValueType));
    unique_variant data = DataOf(record.get());
    ASSERT_EQ(s.vt, V_VT(&data.ref()));
    if (s.vt == VT_BSTR) { EXPECT_EQ(s.text, W(V_BSTR(&data.ref()))); }
    if (s.vt == VT_I4) { EXPECT_EQ(s.number, V_I4(&data.ref())); }
  }
}

TEST_F(ValuesTest, LoadsOnceWithOneOpenAndKeepsTheRecordsAcrossNewRootsAndPaths) {
  scratch_.SetDword(L"", L"d", 1);
  scratch_.SetString(L"", L"s", L"t");
  scratch_.SetRaw(L"", L"b", REG_BINARY, "\1", 1);
  scratch_.SetRaw(L"", L"e", REG_EXPAND_SZ, Wide(L"x").data(), 4);
  scratch_.CreateKey(L"other");
  auto values = Open();
  EXPECT_TRUE(Rec().calls.empty()) << "assignments read nothing";

  EXPECT_EQ(4, Count(values.get()));
  EXPECT_EQ(registry::kRead, Rec().calls.front().access);
  EXPECT_EQ(Fn::CloseKey, Rec().calls.back().fn);
  EXPECT_EQ(1u, CallsOf(Fn::OpenKeyEx));
  EXPECT_EQ(1u, CallsOf(Fn::CloseKey));
  EXPECT_EQ(5u, CallsOf(Fn::EnumValue));
  EXPECT_EQ(2u, CallsOf(Fn::QueryValueEx)) << "only the decoded types";

  // A new path or root takes effect at the next refresh only. The path
  // loses its spaces, and nothing else.
  Rec().Reset();
  SetPath(values.get(), L"  " + scratch_.Below(L"other\\") + L" ");
  EXPECT_EQ(scratch_.Below(L"other\\"), PathOf(values.get()));
  SetRoot(values.get(), static_cast<LONG>(0x80000002));
  scratch_.SetDword(L"", L"new", 2);
  EXPECT_EQ(4, Count(values.get()));
  EXPECT_TRUE(Exists(values.get(), L"d"));
  EXPECT_TRUE(Rec().calls.empty()) << "a loaded collection answers from its records";
  SetRoot(values.get(), ScratchKey::kRoot);
  ASSERT_EQ(S_OK, values->Refresh());
  EXPECT_EQ(0, Count(values.get()));

  // Keys that cannot be read give no records and no error.
  EXPECT_EQ(0, Count(Values::Create().get())) << "root never assigned";
  EXPECT_EQ(0, Count(Open(L"missing").get()));
  EXPECT_EQ(0, Count(Aimed<Values>(L"Software", 12345).get()));
}

TEST_F(ValuesTest, ARecordStaysUnderItsListedNameAndHoldsWhatAClientAssigns) {
  scratch_.SetString(L"", L"text", L"hello");
  auto values = Open();
  ComPtr<clsValue> record = Named(values.get(), L"text");
  ASSERT_EQ(S_OK, record->put_Name(B(L"renamed").get()));
  EXPECT_EQ(L"renamed", NameOf(record.get()));
  EXPECT_EQ(record.get(), Named(values.get(), L"TEXT").get()) << "still held under the name listed";
  Item(values.get(), VStr(L"renamed"), errors::kInvalidProcedureCall);

  // Any value, kept as given until the next assignment.
  ComPtr<Values> object = Values::Create();
  unique_variant given[] = {Of(VT_R8, 2.5), VStr(L"text"), Of(VT_EMPTY), VI4(7), Of(VT_NULL)};
  for (unique_variant& value : given) {
    ASSERT_EQ(S_OK, record->put_Value(&value.ref()));
    unique_variant read = DataOf(record.get());
    EXPECT_EQ(V_VT(&value.ref()), V_VT(&read.ref()));
    if (V_VT(&value.ref()) != VT_NULL) {
      EXPECT_EQ(VARCMP_EQ, ::VarCmp(&read.ref(), &value.ref(), 0, 0));
    }
  }
  unique_variant reference;
  V_VT(&reference.ref()) = VT_DISPATCH;
  V_DISPATCH(&reference.ref()) = object.copy();
  ASSERT_EQ(S_OK, record->putref_Value(&reference.ref()));
  EXPECT_EQ(object.get(), V_DISPATCH(&DataOf(record.get()).ref()));
}

// The records of a load are handed out as they are: the same object by
// position, by name and in a walk, keeping what a client assigned after the
// client let go of it. One that a client holds outlives a reload and its
// collection, and the last one let go ends the load.
TEST_F(ValuesTest, RecordsAreTheSameObjectsEverywhereAndOutliveTheirCollection) {
  scratch_.SetString(L"", L"text", L"hello");
  scratch_.SetDword(L"", L"number", 7);
  LONG live = module_count::Value();
  auto values = Open();
  clsValue* first = Item(values.get(), VI4(1)).get();  // the collection holds it
  std::wstring first_name = NameOf(first);
  EXPECT_EQ(first, Named(values.get(), first_name).get());
  auto walked = Walk(values->Published());
  ASSERT_EQ(2u, walked.size());
  EXPECT_EQ(static_cast<IDispatch*>(first), walked[0].get());
  EXPECT_EQ(static_cast<IDispatch*>(Item(values.get(), VI4(2)).get()), walked[1].get());
  walked.clear();
  ASSERT_EQ(S_OK, first->put_Name(B(L"assigned").get()));
  ASSERT_EQ(S_OK, first->put_ValueType(99));
  auto again = Named(values.get(), first_name);
  EXPECT_EQ(L"assigned", NameOf(again.get()));
  EXPECT_EQ(99, Read(again.get(), &clsValue::get_ValueType));
  again = ComPtr<clsValue>();
  // An assigned name (here the same) keeps the loaded data, whatever its type.
  for (auto* name : {L"text", L"number"}) {
    auto record = Named(values.get(), name);
    unique_variant data = DataOf(record.get());
    ASSERT_EQ(S_OK, record->put_Name(B(name).get()));
    EXPECT_EQ(VARCMP_EQ, ::VarCmp(&data.ref(), &DataOf(record.get()).ref(), 0, 0)) << Narrow(name);
  }

  ComPtr<clsValue> text = Named(values.get(), L"text");
  ASSERT_EQ(S_OK, values->Refresh());
  EXPECT_NE(text.get(), Named(values.get(), L"text").get()) << "a reload makes new records";
  values = ComPtr<Values>();
  EXPECT_EQ(L"hello", W(V_BSTR(&DataOf(text.get()).ref())));
  EXPECT_EQ(L"text", NameOf(text.get()));
  text = ComPtr<clsValue>();
  EXPECT_EQ(live, module_count::Value()) << "every record and load has ended";
}

TEST_F(ValuesTest, ValueExistsTrimsIgnoresCaseAndNeverTakesAPosition) {
  for (auto* name : {L"", L"Alpha", L"beta"}) scratch_.SetString(L"", name, L"x");
  auto values = Open();
  EXPECT_EQ(Item(values.get(), VI4(1)).get(), Item(values.get(), VI4(1)).get()) << "the same record each time";
  // Spaces only name the default value.
  for (auto* name : {L"  BETA  ", L"alpha", L"   "}) EXPECT_TRUE(Exists(values.get(), name));
  for (auto* name : {L"1", L"gamma", L"\tbeta"}) EXPECT_FALSE(Exists(values.get(), name));
}

TEST_F(ValuesTest, AddAsDwordWritesTheIntegerAndHandsItBack) {
  // Stored: a REG_DWORD of `number` was written, and the caller's variable holds it.
  struct { unique_variant given; HRESULT hr; bool stored; LONG number; } table[] = {
      {VStr(L"12"), S_OK, true, 12}, {VStr(L" -7 "), S_OK, true, -7}, {Of(VT_R8, 12.5), S_OK, true, 12},
      {Of(VT_R8, 2147483647.0), S_OK, true, 2147483647}, {Of(VT_EMPTY), S_OK, true, 0},
      {Of(VT_BOOL, 1), S_OK, true, -1}, {VStr(L"abc"), S_OK, false, 0}, {Of(VT_NULL), S_OK, false, 0},
      {VStr(L"3000000000"), errors::kOverflow, false, 0}};
  for (auto& row : table) {
    const std::wstring name = L"n" + std::to_wstring(&row - table);
    SCOPED_TRACE(Narrow(name));
    auto values = Open();
    LONG before = Count(values.get());
    scratch_.SetString(L"", name + L" meanwhile", L"m");
    Rec().Reset();
    VARTYPE given_type = V_VT(&row.given.ref());
    EXPECT_EQ(row.stored, Add(values.get(), name, row.given.ref(), REG_DWORD, row.hr));
    const Call* set = Written();
    ASSERT_EQ(row.stored, set != nullptr);
    if (set) {
      EXPECT_EQ(static_cast<DWORD>(REG_DWORD), set->type);
      EXPECT_EQ(std::string(reinterpret_cast<char*>(&row.number), 4), set->data);
      ASSERT_EQ(VT_I4, V_VT(&row.given.ref()));
      EXPECT_EQ(row.number, V_I4(&row.given.ref()));
      EXPECT_EQ(row.number, V_I4(&DataOf(Named(values.get(), name).get()).ref()));
    } else {
      EXPECT_EQ(given_type, V_VT(&row.given.ref())) << "the caller's variable is left alone";
    }
    // A false result still reloads; an error ends Add before the reload.
    EXPECT_EQ(before + (row.hr != S_OK ? 0 : row.stored ? 2 : 1), Count(values.get()));
  }
}

TEST_F(ValuesTest, AddStoresEveryOtherTypeAsText) {
  unique_variant yes = Of(VT_BOOL, 1);
  EXPECT_TRUE(Add(Open().get(), L"v", yes.ref(), REG_BINARY));
  EXPECT_EQ(VT_BOOL, V_VT(&yes.ref()));
  const Call* set = Written();
  ASSERT_TRUE(set);
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), set->type);
  std::vector<BYTE> stored = Wide(L"True");
  EXPECT_EQ(std::string(stored.begin(), stored.end()), set->data) << "in whole units, with one zero unit";
  // A value with no text form ends Add before anything is written.
  Rec().Reset();
  EXPECT_FALSE(Add(Open().get(), L"null", Of(VT_NULL).ref(), REG_SZ, errors::kTypeMismatch));
  EXPECT_FALSE(Written());
}

TEST_F(ValuesTest, DeleteReloadsAlsoWhenItFailsAndNothingIsDoneWhereTheKeyCannotBeOpened) {
  scratch_.SetDword(L"", L"gone", 1);
  scratch_.SetDword(L"", L"kept", 2);
  auto values = Open();
  EXPECT_TRUE(Ask(values.get(), &Values::Delete, L"gone"));
  EXPECT_FALSE(scratch_.ValueExists(L"", L"gone"));
  EXPECT_EQ(1, Count(values.get()));
  scratch_.SetDword(L"", L"new", 3);
  EXPECT_FALSE(Ask(values.get(), &Values::Delete, L" kept ")) << "the name is not trimmed";
  EXPECT_TRUE(scratch_.ValueExists(L"", L"kept"));
  EXPECT_EQ(2, Count(values.get())) << "reloaded after a refused delete";

  // Add and Delete where the key cannot be opened leave the records alone.
  ComPtr<clsValue> record = Named(values.get(), L"kept");
  SetPath(values.get(), scratch_.Below(L"missing"));
  Rec().Reset();
  unique_variant data = VStr(L"5");
  EXPECT_FALSE(Add(values.get(), L"y", data.ref(), REG_DWORD));
  EXPECT_EQ(VT_BSTR, V_VT(&data.ref()));
  EXPECT_FALSE(Ask(values.get(), &Values::Delete, L"kept"));
  ASSERT_EQ(2u, Rec().calls.size());
  for (const Call& c : Rec().calls) EXPECT_EQ(registry::kWrite, c.access);
  EXPECT_EQ(record.get(), Named(values.get(), L"kept").get());
}

TEST_F(ValuesTest, AFailedRegistryCallDuringARefreshEndsItQuietlyOrSkipsOneValue) {
  scratch_.SetDword(L"", L"v1", 1);
  scratch_.SetString(L"", L"v2", L"two");
  scratch_.SetDword(L"", L"v3", 3);
  // The nth call of fn fails with status (0: every call; of EnumValue: every call at index nth - 1); then
  // the records, the enumeration calls (where they count) and the records whose data could not be read.
  const struct { Fn fn; int nth; LONG status, count; size_t enums; int empty_values; } table[] = {
      {Fn::OpenKeyEx, 0, ERROR_ACCESS_DENIED, 0, 0, 0},
      {Fn::EnumValue, 2, ERROR_MORE_DATA, 2, 0, 0},  // one name too long for any buffer
      {Fn::EnumValue, 2, ERROR_KEY_DELETED, 1, 2, 0},
      {Fn::EnumValue, 1, ERROR_INVALID_HANDLE, 0, 1, 0},
      {Fn::EnumValue, 0, ERROR_NOT_ENOUGH_MEMORY, 0, 256, 0},
      {Fn::QueryValueEx, 2, ERROR_ACCESS_DENIED, 3, 4, 1},
      {Fn::QueryValueEx, 0, ERROR_ACCESS_DENIED, 3, 4, 3},
      {Fn::CloseKey, 0, ERROR_INVALID_HANDLE, 3, 4, 0}};
  for (const auto& c : table) {
    SCOPED_TRACE(::testing::Message() << "call " << static_cast<int>(c.fn) << " #" << c.nth << ": " << c.status);
    auto values = Open();
    Rec().Reset();
    auto at_index = [&](const Call& e) { return e.index + 1 == DWORD(c.nth); };
    if (!c.nth) Rec().Fail(c.fn, c.status);
    else if (c.fn == Fn::EnumValue) Rec().Fail(c.fn, c.status, at_index);
    else Rec().FailNth(c.fn, c.nth, c.status);
    ASSERT_EQ(S_OK, values->Refresh());
    Rec().fault = nullptr;
    EXPECT_EQ(c.count, Count(values.get()));
    if (c.enums) { EXPECT_EQ(c.enums, CallsOf(Fn::EnumValue)); }
    EXPECT_EQ(0, Rec().open_handles);
    int empty = 0;
    for (LONG i = 1; i <= c.count; ++i) empty += V_VT(&DataOf(Item(values.get(), VI4(i)).get()).ref()) == VT_EMPTY;
    EXPECT_EQ(c.empty_values, empty);
  }
}

TEST_F(ValuesTest, AnErrorEndingARefreshReachesTheCallerAndKeepsWhatWasLoaded) {
  // The second index lists the first value again: a duplicate key of the
  // collection.
  scratch_.SetDword(L"", L"a", 1);
  scratch_.SetDword(L"", L"b", 2);
  auto values = Open();
  Rec().value_index = [](DWORD i) { return i == 1 ? 0 : i; };
  unique_bstr name = B(L"a");
  VARIANT_BOOL exists = VARIANT_TRUE;
  EXPECT_EQ(errors::kDuplicateKey, values->get_ValueExists(&name.ref(), &exists));
  EXPECT_EQ(0, Rec().open_handles);
  Rec().Reset();
  EXPECT_EQ(1, Count(values.get())) << "the partial collection stays loaded";
  EXPECT_TRUE(Rec().calls.empty());
}

// Only the native API writes a value name holding a zero character. It lists
// under its whole name, and its data is never read by the shorter name before
// that zero, which is another value's.
TEST_F(ValuesTest, ANameWithAZeroCharacterNeverTakesAnotherValuesData) {
  scratch_.SetString(L"", L"a", L"plain");
  using SetValueKey = LONG(NTAPI*)(HANDLE, UNICODE_STRING*, ULONG, ULONG, const void*, ULONG);
  auto set = reinterpret_cast<SetValueKey>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll"), "NtSetValueKey")));
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_CURRENT_USER, scratch_.Path().c_str(), 0, KEY_SET_VALUE, &key));
  wchar_t name[] = {L'a', 0, L'b'};
  UNICODE_STRING cut{sizeof name, sizeof name, name};
  std::vector<BYTE> data = Wide(L"other");
  LONG status = set(key, &cut, 0, REG_SZ, data.data(), static_cast<ULONG>(data.size()));
  ::RegCloseKey(key);
  ASSERT_EQ(0, status);
  auto values = Open();
  ASSERT_EQ(2, Count(values.get()));
  EXPECT_EQ(VT_EMPTY, V_VT(&DataOf(Named(values.get(), std::wstring(name, 3)).get()).ref()));
}

}  // namespace
}  // namespace vorn
