// The value collection and its records: loading and decoding, lookups, the
// writing members, and what a refresh does when registry calls fail.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "support/com.h"
#include "support/registry_recording.h"
#include "support/scratch_key.h"
#include "values/values.h"

namespace vorn {
namespace {

using test::B;
using test::Fn;
using test::Recorder;
using test::ScratchKey;
using test::W;

unique_variant VOf(VARTYPE vt, double number = 0) {
  unique_variant v;
  V_VT(&v.ref()) = VT_R8;
  V_R8(&v.ref()) = number;
  if (vt == VT_NULL || vt == VT_EMPTY) V_VT(&v.ref()) = vt;
  else EXPECT_EQ(S_OK, ::VariantChangeType(&v.ref(), &v.ref(), 0, vt));
  return v;
}

class ValuesTest : public ::testing::Test {
 protected:
  void SetUp() override { Recorder::Get().Reset(); }
  void TearDown() override {
    Recorder::Get().Reset();
    EXPECT_EQ(0, Recorder::Get().OpenHandles()) << "a registry handle outlived a call";
  }

  static ComPtr<Values> Open(LONG root, const std::wstring& path) {
    auto values = Values::Create();
    unique_bstr p = B(path);
    EXPECT_EQ(S_OK, values->put_HKEY(&root));
    EXPECT_EQ(S_OK, values->put_Path(&p.ref()));
    return values;
  }
  ComPtr<Values> Open(const std::wstring& sub = L"") { return Open(ScratchKey::kRoot, scratch_.Below(sub)); }

  static LONG Count(Values* values) {
    LONG n = -1;
    EXPECT_EQ(S_OK, values->get_Count(&n));
    return n;
  }
  static HRESULT Item(Values* values, VARIANT index, ComPtr<clsValue>& record) {
    return values->get_Item(&index, record.put());
  }
  static ComPtr<clsValue> Named(Values* values, const std::wstring& name) {
    ComPtr<clsValue> record;
    unique_variant index = test::VStr(name);
    EXPECT_EQ(S_OK, Item(values, index.ref(), record)) << "no record named " << std::string(name.begin(), name.end());
    return record;
  }
  static bool Exists(Values* values, const std::wstring& name) {
    unique_bstr n = B(name);
    VARIANT_BOOL b = 1;
    EXPECT_EQ(S_OK, values->get_ValueExists(&n.ref(), &b));
    EXPECT_TRUE(b == VARIANT_TRUE || b == VARIANT_FALSE);
    return b == VARIANT_TRUE;
  }
  static unique_variant DataOf(clsValue* record) {
    unique_variant v;
    EXPECT_EQ(S_OK, record->get_Value(&v.ref()));
    return v;
  }
  static LONG TypeOf(clsValue* record) {
    LONG t = -1;
    EXPECT_EQ(S_OK, record->get_ValueType(&t));
    return t;
  }
  // Add through the vtable; hr is what the member returned.
  static HRESULT Add(Values* values, const std::wstring& name, VARIANT& value, LONG type, bool* result = nullptr) {
    unique_bstr n = B(name);
    VARIANT_BOOL b = 1;
    HRESULT hr = values->Add(&n.ref(), &value, &type, &b);
    if (result) *result = b == VARIANT_TRUE;
    return hr;
  }
  static bool Delete(Values* values, const std::wstring& name) {
    unique_bstr n = B(name);
    VARIANT_BOOL b = 1;
    EXPECT_EQ(S_OK, values->Delete(&n.ref(), &b));
    return b == VARIANT_TRUE;
  }

  ScratchKey scratch_;
};

// ---------------------------------------------------------------------------
// Loading and decoding

struct Stored {
  std::wstring name;
  DWORD type;
  std::vector<BYTE> bytes;  // as given to RegSetValueExW
  VARTYPE vt;               // of the record's Value
  std::wstring text;        // VT_BSTR
  LONG number;              // VT_I4
};

std::vector<BYTE> Wide(const std::wstring& s, bool terminated = true) {
  const BYTE* p = reinterpret_cast<const BYTE*>(s.data());
  std::vector<BYTE> bytes(p, p + s.size() * sizeof(wchar_t));
  if (terminated) bytes.insert(bytes.end(), 2, 0);
  return bytes;
}

TEST_F(ValuesTest, DecodesDwordAndStringDataAndLeavesOtherTypesEmpty) {
  const std::wstring long_text(5000, L'x');
  const std::vector<Stored> table = {
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
      {std::wstring(2500, L'n'), REG_SZ, Wide(L"long name"), VT_BSTR, L"long name", 0},
  };
  for (const Stored& s : table)
    scratch_.SetRaw(L"", s.name, s.type, s.bytes.data(), static_cast<DWORD>(s.bytes.size()));
  scratch_.CreateKey(L"sub");

  auto values = Open();
  ASSERT_EQ(static_cast<LONG>(table.size()), Count(values.get()));
  for (const Stored& s : table) {
    SCOPED_TRACE(std::string(s.name.begin(), s.name.begin() + std::min<size_t>(s.name.size(), 20)));
    ComPtr<clsValue> record = Named(values.get(), s.name);
    ASSERT_TRUE(record);
    unique_bstr name;
    EXPECT_EQ(S_OK, record->get_Name(name.put()));
    EXPECT_EQ(s.name, W(name.get()));
    EXPECT_EQ(static_cast<LONG>(s.type), TypeOf(record.get()));
    unique_variant data = DataOf(record.get());
    ASSERT_EQ(s.vt, V_VT(&data.ref()));
    if (s.vt == VT_BSTR) {
      EXPECT_EQ(s.text, W(V_BSTR(&data.ref())));
    } else if (s.vt == VT_I4) {
      EXPECT_EQ(s.number, V_I4(&data.ref()));
    }
  }
  EXPECT_TRUE(Exists(values.get(), L"   ")) << "spaces only name the default value";
}

TEST_F(ValuesTest, LoadsOnceOpeningTheKeyOnceAndQueryingOnlyDecodedTypes) {
  scratch_.SetDword(L"", L"d", 1);
  scratch_.SetString(L"", L"s", L"t");
  BYTE bin[] = {1};
  scratch_.SetRaw(L"", L"b", REG_BINARY, bin, 1);
  scratch_.SetRaw(L"", L"e", REG_EXPAND_SZ, Wide(L"x").data(), 4);
  auto values = Open();
  EXPECT_EQ(0u, Recorder::Get().Calls().size()) << "assignments read nothing";

  EXPECT_EQ(4, Count(values.get()));
  auto calls = Recorder::Get().Calls();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(Fn::OpenKeyEx, calls.front().fn);
  EXPECT_EQ(registry::kRead, calls.front().access);
  EXPECT_EQ(Fn::CloseKey, calls.back().fn);
  EXPECT_EQ(1u, Recorder::Get().CountOf(Fn::OpenKeyEx));
  EXPECT_EQ(5u, Recorder::Get().CountOf(Fn::EnumValue));
  std::vector<std::string> queried;
  for (const auto& c : calls)
    if (c.fn == Fn::QueryValueEx) queried.push_back(c.name);
  std::sort(queried.begin(), queried.end());
  EXPECT_EQ((std::vector<std::string>{"d", "s"}), queried);

  Recorder::Get().Reset();
  EXPECT_EQ(4, Count(values.get()));
  EXPECT_TRUE(Exists(values.get(), L"d"));
  EXPECT_TRUE(Named(values.get(), L"s"));
  EXPECT_EQ(0u, Recorder::Get().Calls().size()) << "a loaded collection answers from its records";
}

TEST_F(ValuesTest, LoadedRecordsStayUntilTheNextRefresh) {
  scratch_.SetDword(L"", L"first", 1);
  scratch_.CreateKey(L"other");
  auto values = Open();
  EXPECT_EQ(1, Count(values.get()));
  Recorder::Get().Reset();

  // A new path or root takes effect at the next refresh only. The path
  // loses its spaces, and nothing else.
  unique_bstr other = B(L"  " + scratch_.Below(L"other\\") + L" ");
  ASSERT_EQ(S_OK, values->put_Path(&other.ref()));
  unique_bstr stored;
  ASSERT_EQ(S_OK, values->get_Path(stored.put()));
  EXPECT_EQ(scratch_.Below(L"other\\"), W(stored.get()));
  LONG root = static_cast<LONG>(0x80000002);
  ASSERT_EQ(S_OK, values->put_HKEY(&root));
  scratch_.SetDword(L"", L"second", 2);
  EXPECT_EQ(1, Count(values.get()));
  EXPECT_TRUE(Exists(values.get(), L"first"));
  EXPECT_EQ(0u, Recorder::Get().CountOf(Fn::OpenKeyEx));

  root = ScratchKey::kRoot;
  ASSERT_EQ(S_OK, values->put_HKEY(&root));
  ASSERT_EQ(S_OK, values->Refresh());
  EXPECT_EQ(0, Count(values.get()));
}

TEST_F(ValuesTest, KeysThatCannotBeReadGiveNoRecordsAndNoError) {
  EXPECT_EQ(0, Count(Values::Create().get())) << "root never assigned";
  EXPECT_EQ(0, Count(Open(L"missing").get()));
  EXPECT_EQ(0, Count(Open().get())) << "a key without values";
  auto values = Open(12345, L"Software");
  EXPECT_EQ(0, Count(values.get()));
  EXPECT_FALSE(Exists(values.get(), L""));
}

// ---------------------------------------------------------------------------
// Lookups and records

TEST_F(ValuesTest, LooksUpByPositionAndByNameIgnoringCase) {
  scratch_.SetString(L"", L"Alpha", L"1");
  scratch_.SetString(L"", L"beta", L"2");
  auto values = Open();
  ASSERT_EQ(2, Count(values.get()));

  ComPtr<clsValue> first, again;
  ASSERT_EQ(S_OK, Item(values.get(), test::VI4(1).ref(), first));
  ASSERT_EQ(S_OK, Item(values.get(), test::VI4(1).ref(), again));
  EXPECT_EQ(first.get(), again.get()) << "the same record each time";
  unique_bstr first_name;
  ASSERT_EQ(S_OK, first->get_Name(first_name.put()));
  EXPECT_EQ(first.get(), Named(values.get(), W(first_name.get())).get());
  EXPECT_EQ(Named(values.get(), L"ALPHA").get(), Named(values.get(), L"alpha").get());

  EXPECT_TRUE(Exists(values.get(), L"  BETA  "));
  EXPECT_FALSE(Exists(values.get(), L"1")) << "a number's text is a name, never a position";
  EXPECT_FALSE(Exists(values.get(), L"gamma"));

  ComPtr<clsValue> none;
  EXPECT_EQ(errors::kInvalidProcedureCall, Item(values.get(), test::VStr(L" beta ").ref(), none));
  EXPECT_EQ(errors::kInvalidProcedureCall, Item(values.get(), test::VStr(L"1").ref(), none));
  EXPECT_EQ(errors::kSubscriptOutOfRange, Item(values.get(), test::VI4(0).ref(), none));
  EXPECT_EQ(errors::kSubscriptOutOfRange, Item(values.get(), test::VI4(3).ref(), none));
  EXPECT_FALSE(none);

  // Late bound, as a script's col(1) and col.Item("beta") call it.
  auto by_default = test::Get(values->Published(), L"", {test::VI4(2).ref()});
  ASSERT_EQ(S_OK, by_default.hr);
  ASSERT_EQ(VT_DISPATCH, V_VT(&by_default.value.ref()));
  unique_variant name = test::VStr(L"beta");
  auto by_name = test::Get(values->Published(), L"Item", {test::Ref(name.ref())});
  ASSERT_EQ(S_OK, by_name.hr);
  EXPECT_EQ(V_DISPATCH(&by_default.value.ref()), V_DISPATCH(&by_name.value.ref()));
  EXPECT_EQ(errors::kSubscriptOutOfRange, test::Get(values->Published(), L"Item", {test::VI4(0).ref()}).error());
}

TEST_F(ValuesTest, RecordsAreKeptUnderTheNameTheyWereLoadedWith) {
  scratch_.SetDword(L"", L"old", 7);
  auto values = Open();
  ComPtr<clsValue> record = Named(values.get(), L"old");
  ASSERT_EQ(S_OK, record->put_Name(B(L"new").get()));
  EXPECT_EQ(record.get(), Named(values.get(), L"old").get());
  EXPECT_FALSE(Exists(values.get(), L"new"));

  // A refresh makes new records; the one held keeps its contents.
  ASSERT_EQ(S_OK, values->Refresh());
  ComPtr<clsValue> reloaded = Named(values.get(), L"old");
  EXPECT_NE(record.get(), reloaded.get());
  values.reset();
  unique_bstr name;
  ASSERT_EQ(S_OK, record->get_Name(name.put()));
  EXPECT_EQ(L"new", W(name.get()));
  unique_variant data = DataOf(record.get());
  ASSERT_EQ(VT_I4, V_VT(&data.ref()));
  EXPECT_EQ(7, V_I4(&data.ref()));
}

// ---------------------------------------------------------------------------
// Add and Delete

struct DwordCase {
  const char* what;
  unique_variant (*given)();
  HRESULT hr;
  bool result;
  bool stored;  // a REG_DWORD of `number` was written, and the caller's variable holds it
  LONG number;
};

class ValuesAddDwordTest : public ValuesTest, public ::testing::WithParamInterface<DwordCase> {};

TEST_P(ValuesAddDwordTest, WritesTheIntegerAndHandsItBack) {
  const DwordCase& c = GetParam();
  scratch_.SetString(L"", L"other", L"o");
  auto values = Open();
  EXPECT_EQ(1, Count(values.get()));
  scratch_.SetString(L"", L"meanwhile", L"m");
  Recorder::Get().Reset();

  unique_variant given = c.given();
  bool result = !c.result;
  EXPECT_EQ(c.hr, Add(values.get(), L"n", given.ref(), REG_DWORD, &result));
  EXPECT_EQ(Recorder::Get().CountOf(Fn::OpenKeyEx), Recorder::Get().CountOf(Fn::CloseKey));

  DWORD type = 0;
  std::vector<BYTE> bytes;
  if (c.stored) {
    EXPECT_TRUE(result);
    ASSERT_TRUE(scratch_.ReadRaw(L"", L"n", type, bytes));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    ASSERT_EQ(4u, bytes.size());
    EXPECT_EQ(c.number, *reinterpret_cast<const LONG*>(bytes.data()));
    ASSERT_EQ(VT_I4, V_VT(&given.ref()));
    EXPECT_EQ(c.number, V_I4(&given.ref()));
    unique_variant data = DataOf(Named(values.get(), L"n").get());
    ASSERT_EQ(VT_I4, V_VT(&data.ref()));
    EXPECT_EQ(c.number, V_I4(&data.ref()));
  } else {
    EXPECT_FALSE(result);
    EXPECT_FALSE(scratch_.ValueExists(L"", L"n"));
    EXPECT_EQ(0u, Recorder::Get().CountOf(Fn::SetValueEx));
    EXPECT_EQ(V_VT(&c.given().ref()), V_VT(&given.ref())) << "the caller's variable is left alone";
  }
  // A false result still reloads; an error ends Add before the reload.
  EXPECT_EQ(c.hr != S_OK ? 1 : c.stored ? 3 : 2, Count(values.get()));
}

INSTANTIATE_TEST_SUITE_P(
    Table, ValuesAddDwordTest,
    ::testing::Values(DwordCase{"text", [] { return test::VStr(L"12"); }, S_OK, true, true, 12},
                      DwordCase{"negative text", [] { return test::VStr(L" -7 "); }, S_OK, true, true, -7},
                      DwordCase{"largest", [] { return VOf(VT_R8, 2147483647.0); }, S_OK, true, true, 2147483647},
                      DwordCase{"fraction", [] { return VOf(VT_R8, 12.5); }, S_OK, true, true, 12},
                      DwordCase{"empty", [] { return VOf(VT_EMPTY); }, S_OK, true, true, 0},
                      DwordCase{"true", [] { return VOf(VT_BOOL, 1); }, S_OK, true, true, -1},
                      DwordCase{"not numeric", [] { return test::VStr(L"abc"); }, S_OK, false, false, 0},
                      DwordCase{"null", [] { return VOf(VT_NULL); }, S_OK, false, false, 0},
                      DwordCase{"too large", [] { return test::VStr(L"3000000000"); }, errors::kOverflow, false, false,
                                0}),
    [](const auto& info) {
      std::string name = info.param.what;
      for (char& ch : name)
        if (ch == ' ') ch = '_';
      return name;
    });

TEST_F(ValuesTest, AddWritesIntoTheVariableACallerPassesByReference) {
  auto values = Open();
  // Early bound with a reference to a variant, and late bound as a script
  // passes its variable.
  unique_variant early = test::VStr(L"12");
  VARIANT early_ref = test::Ref(early.ref());
  bool result = false;
  EXPECT_EQ(S_OK, Add(values.get(), L"early", early_ref, REG_DWORD, &result));
  EXPECT_TRUE(result);
  ASSERT_EQ(VT_I4, V_VT(&early.ref()));
  EXPECT_EQ(12, V_I4(&early.ref()));

  unique_variant late = test::VStr(L"34");
  unique_variant name = test::VStr(L"late");
  unique_variant type = test::VI4(REG_DWORD);
  auto r = test::Invoke(values->Published(), L"Add", DISPATCH_METHOD,
                        {test::Ref(name.ref()), test::Ref(late.ref()), test::Ref(type.ref())});
  ASSERT_EQ(S_OK, r.hr) << W(B(r.description).get());
  EXPECT_EQ(VARIANT_TRUE, V_BOOL(&r.value.ref()));
  ASSERT_EQ(VT_I4, V_VT(&late.ref()));
  EXPECT_EQ(34, V_I4(&late.ref()));
  EXPECT_TRUE(Exists(values.get(), L"late"));

  // A literal is the runtime's own copy: written into, and released once.
  unique_variant literal_name = test::VStr(L"literal"), literal_value = test::VStr(L"56");
  auto literal = test::Invoke(values->Published(), L"Add", DISPATCH_METHOD,
                              {literal_name.ref(), literal_value.ref(), type.ref()});
  ASSERT_EQ(S_OK, literal.hr);
  EXPECT_EQ(VARIANT_TRUE, V_BOOL(&literal.value.ref()));
  unique_variant data = DataOf(Named(values.get(), L"literal").get());
  ASSERT_EQ(VT_I4, V_VT(&data.ref()));
  EXPECT_EQ(56, V_I4(&data.ref()));
}

TEST_F(ValuesTest, AddStoresEveryOtherTypeAsText) {
  struct {
    LONG type;
    unique_variant (*given)();
    std::string data;  // the bytes written, terminating zero included
  } const table[] = {
      {REG_BINARY, [] { return test::VStr(L"abc"); }, std::string("abc", 4)},
      {REG_SZ, [] { return VOf(VT_EMPTY); }, std::string("", 1)},
      {REG_SZ, [] { return VOf(VT_BOOL, 1); }, std::string("True", 5)},
  };
  auto values = Open();
  for (const auto& row : table) {
    SCOPED_TRACE(row.data);
    Recorder::Get().Reset();
    unique_variant given = row.given();
    VARTYPE before = V_VT(&given.ref());
    bool result = false;
    ASSERT_EQ(S_OK, Add(values.get(), L"v", given.ref(), row.type, &result));
    EXPECT_TRUE(result);
    EXPECT_EQ(before, V_VT(&given.ref()));
    auto calls = Recorder::Get().Calls();
    auto set = std::find_if(calls.begin(), calls.end(), [](const test::Call& c) { return c.fn == Fn::SetValueEx; });
    ASSERT_NE(calls.end(), set);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), set->type);
    EXPECT_EQ(row.data, set->data);
    ComPtr<clsValue> record = Named(values.get(), L"v");
    EXPECT_EQ(REG_SZ, TypeOf(record.get()));
  }

  // A value with no text form ends Add before anything is written.
  unique_variant null = VOf(VT_NULL);
  Recorder::Get().Reset();
  EXPECT_EQ(errors::kTypeMismatch, Add(values.get(), L"null", null.ref(), REG_SZ));
  EXPECT_EQ(0u, Recorder::Get().CountOf(Fn::SetValueEx));
  EXPECT_FALSE(scratch_.ValueExists(L"", L"null"));
}

TEST_F(ValuesTest, DeleteRemovesAndReloads) {
  scratch_.SetDword(L"", L"gone", 1);
  scratch_.SetDword(L"", L"kept", 2);
  auto values = Open();
  EXPECT_EQ(2, Count(values.get()));
  EXPECT_TRUE(Delete(values.get(), L"gone"));
  EXPECT_FALSE(scratch_.ValueExists(L"", L"gone"));
  EXPECT_EQ(1, Count(values.get()));

  scratch_.SetDword(L"", L"new", 3);
  Recorder::Get().Reset();
  EXPECT_FALSE(Delete(values.get(), L"gone"));
  EXPECT_EQ(2, Count(values.get())) << "reloaded after a refused delete";
  EXPECT_FALSE(Delete(values.get(), L" kept ")) << "the name is not trimmed";
  EXPECT_TRUE(scratch_.ValueExists(L"", L"kept"));
}

TEST_F(ValuesTest, AddAndDeleteOnAKeyThatCannotBeOpenedLeaveTheRecords) {
  scratch_.SetDword(L"", L"x", 1);
  auto values = Open();
  ComPtr<clsValue> record = Named(values.get(), L"x");
  unique_bstr missing = B(scratch_.Below(L"missing"));
  ASSERT_EQ(S_OK, values->put_Path(&missing.ref()));
  Recorder::Get().Reset();

  unique_variant data = test::VStr(L"5");
  bool result = true;
  EXPECT_EQ(S_OK, Add(values.get(), L"y", data.ref(), REG_DWORD, &result));
  EXPECT_FALSE(result);
  EXPECT_EQ(VT_BSTR, V_VT(&data.ref()));
  EXPECT_FALSE(Delete(values.get(), L"x"));
  auto calls = Recorder::Get().Calls();
  ASSERT_EQ(2u, calls.size());
  EXPECT_EQ(registry::kWrite, calls[0].access);
  EXPECT_EQ(registry::kWrite, calls[1].access);
  EXPECT_EQ(record.get(), Named(values.get(), L"x").get());
}

TEST_F(ValuesTest, TextTheCodePageCannotHoldIsNeverWritten) {
  scratch_.SetString(L"", L"a", L"keep");  // what U+0101 would best-fit to
  auto values = Open();
  unique_variant data = test::VStr(L"1");
  bool result = true;
  EXPECT_EQ(S_OK, Add(values.get(), L"\u0101", data.ref(), REG_SZ, &result));
  EXPECT_FALSE(result);
  unique_variant text = test::VStr(L"\u6F22");
  EXPECT_EQ(S_OK, Add(values.get(), L"b", text.ref(), REG_SZ, &result));
  EXPECT_FALSE(result);
  EXPECT_FALSE(Delete(values.get(), L"\u0101"));
  EXPECT_EQ(0u, Recorder::Get().CountOf(Fn::SetValueEx) + Recorder::Get().CountOf(Fn::DeleteValue));
  EXPECT_EQ(6u, Recorder::Get().CountOf(Fn::OpenKeyEx)) << "each call opened for writing and reloaded";
  EXPECT_EQ(1, Count(values.get()));
  EXPECT_TRUE(scratch_.ValueExists(L"", L"a"));
}

// ---------------------------------------------------------------------------
// Registry failures during a refresh

struct FaultCase {
  const char* what;
  Fn fn;
  int nth;
  LONG status;
  LONG count;  // records after the refresh
  size_t enum_calls;
  int empty_values;  // records whose data could not be read
};

class ValuesFaultTest : public ValuesTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(ValuesFaultTest, RefreshGoesOnOrEndsQuietly) {
  const FaultCase& c = GetParam();
  scratch_.SetDword(L"", L"v1", 1);
  scratch_.SetString(L"", L"v2", L"two");
  scratch_.SetDword(L"", L"v3", 3);
  auto values = Open();
  if (c.nth == 0) {
    Fn fn = c.fn;
    LONG status = c.status;
    Recorder::Get().SetFault([=](const test::Call& call) -> std::optional<LONG> {
      if (call.fn == fn) return status;
      return std::nullopt;
    });
  } else {
    Recorder::Get().FailNth(c.fn, c.nth, c.status);
  }
  ASSERT_EQ(S_OK, values->Refresh());
  Recorder::Get().SetFault(nullptr);
  EXPECT_EQ(c.count, Count(values.get()));
  EXPECT_EQ(c.enum_calls, Recorder::Get().CountOf(Fn::EnumValue));
  int empty = 0;
  for (LONG i = 1; i <= c.count; ++i) {
    ComPtr<clsValue> record;
    ASSERT_EQ(S_OK, Item(values.get(), test::VI4(i).ref(), record));
    empty += V_VT(&DataOf(record.get()).ref()) == VT_EMPTY;
  }
  EXPECT_EQ(c.empty_values, empty);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ValuesFaultTest,
    ::testing::Values(FaultCase{"open_denied", Fn::OpenKeyEx, 1, ERROR_ACCESS_DENIED, 0, 0, 0},
                      FaultCase{"one_index_too_long", Fn::EnumValue, 2, ERROR_MORE_DATA, 2, 4, 0},
                      FaultCase{"key_deleted", Fn::EnumValue, 2, ERROR_KEY_DELETED, 1, 2, 0},
                      FaultCase{"handle_invalid", Fn::EnumValue, 1, ERROR_INVALID_HANDLE, 0, 1, 0},
                      FaultCase{"every_index_fails", Fn::EnumValue, 0, ERROR_NOT_ENOUGH_MEMORY, 0, 256, 0},
                      FaultCase{"query_fails", Fn::QueryValueEx, 2, ERROR_ACCESS_DENIED, 3, 4, 1},
                      FaultCase{"every_query_fails", Fn::QueryValueEx, 0, ERROR_ACCESS_DENIED, 3, 4, 3},
                      FaultCase{"close_fails", Fn::CloseKey, 1, ERROR_INVALID_HANDLE, 3, 4, 0}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(ValuesTest, AnErrorEndingARefreshReachesTheCallerAndKeepsWhatWasLoaded) {
  // Both names list as "a" through the code page, so the second one is a
  // duplicate key of the collection.
  scratch_.SetDword(L"", L"a", 1);
  scratch_.SetDword(L"", L"\u0101", 2);
  auto values = Open();
  unique_bstr name = B(L"a");
  VARIANT_BOOL exists = VARIANT_TRUE;
  EXPECT_EQ(errors::kDuplicateKey, values->get_ValueExists(&name.ref(), &exists));
  EXPECT_EQ(0, Recorder::Get().OpenHandles());

  Recorder::Get().Reset();
  EXPECT_EQ(1, Count(values.get())) << "the partial collection stays loaded";
  EXPECT_TRUE(Exists(values.get(), L"a"));
  EXPECT_EQ(0u, Recorder::Get().Calls().size());

  // The write after which the reload fails has taken place.
  unique_variant data = test::VI4(5);
  EXPECT_EQ(errors::kDuplicateKey, Add(values.get(), L"b", data.ref(), REG_DWORD));
  EXPECT_TRUE(scratch_.ValueExists(L"", L"b"));
}

}  // namespace
}  // namespace vorn
