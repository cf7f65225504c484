// GetValue and SetValue of a registered clsValues, reached by name through
// IDispatch as clients reach them: what each type stores, byte for byte as
// RegQueryValueExW reads it, and what comes back; and refusals that store
// nothing.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "client_support.h"

namespace client {
namespace {

using Bytes = std::vector<BYTE>;

Bytes Units(const std::wstring& text) {  // UTF-16 units, zeros included, as given
  const BYTE* p = reinterpret_cast<const BYTE*>(text.data());
  return Bytes(p, p + text.size() * sizeof(wchar_t));
}
Variant Typed(VARTYPE vt, ULONGLONG bits) {  // VT_R8, VT_I8 or VT_UI8 with those bits
  Variant v;
  V_VT(&v) = vt, V_UI8(&v) = bits;
  return v;
}
Variant R8(double d) { ULONGLONG bits; return std::memcpy(&bits, &d, 8), Typed(VT_R8, bits); }
template <typename T>
Variant Vector(VARTYPE vt, const std::vector<T>& items) {  // lower bound 0
  Variant v;
  V_VT(&v) = VT_ARRAY | vt, V_ARRAY(&v) = ::SafeArrayCreateVector(vt, 0, items.size());
  for (LONG i = 0; i < static_cast<LONG>(items.size()); ++i)
    ::SafeArrayPutElement(V_ARRAY(&v), &i, const_cast<T*>(&items[i]));
  return v;
}
Variant Array(const std::vector<Variant>& items) { return Vector(VT_VARIANT, items); }

// What a result holds, as short text: i-1 (a Long), s'text' (a String),
// [b1,s'a'] (an array with lower bound 0 of Bytes and Strings).
std::wstring Shown(const VARIANT& v) {
  switch (V_VT(&v)) {
    case VT_I4: return L"i" + std::to_wstring(V_I4(&v));
    case VT_UI1: return L"b" + std::to_wstring(V_UI1(&v));
    case VT_BSTR: return L"s'" + std::wstring(V_BSTR(&v), ::SysStringLen(V_BSTR(&v))) + L"'";
    case VT_ARRAY | VT_VARIANT: {
      LONG low = -1, high = -2;
      ::SafeArrayGetLBound(V_ARRAY(&v), 1, &low), ::SafeArrayGetUBound(V_ARRAY(&v), 1, &high);
      std::wstring text = low ? L"lbound " + std::to_wstring(low) + L"[" : L"[";
      for (LONG i = low; i <= high; ++i) {
        Variant element;
        ::SafeArrayGetElement(V_ARRAY(&v), &i, &element);
        text += (i > low ? L"," : L"") + Shown(element);
      }
      return text + L"]";
    }
    default: return L"vt " + std::to_wstring(V_VT(&v));
  }
}

struct ValueData : ::testing::Test {
  ScratchKey scratch;
  ComPtr<IDispatch> values = Create<IDispatch>(CLSID_clsValues, IID_IDispatch);
  void SetUp() override {
    ASSERT_TRUE(values);
    ASSERT_EQ(S_OK, Invoke(values.Get(), 0x68030000, kPut, {kCurrentUser}));
    ASSERT_EQ(S_OK, Invoke(values.Get(), 0x68030001, kPut, {scratch.path}));
  }
  // A call by the member's name, as a script makes it: the error number,
  // with the description in *description.
  HRESULT Call(const wchar_t* member, std::vector<Variant> args, Variant* result, std::wstring* description = nullptr) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(member)};
    HRESULT hr = values->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    std::vector<Variant> reversed(args.rbegin(), args.rend());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    EXCEPINFO excep{};
    if (SUCCEEDED(hr)) hr = values->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kCall, &params, result, &excep, nullptr);
    if (hr == DISP_E_EXCEPTION) hr = excep.scode;
    if (description) *description = excep.bstrDescription ? excep.bstrDescription : L"";
    for (BSTR b : {excep.bstrDescription, excep.bstrSource, excep.bstrHelpFile}) ::SysFreeString(b);
    return hr;
  }
  // The value's type and exact bytes, or kMissing when it is not there.
  static constexpr DWORD kMissing = 0xFFFF;
  std::pair<DWORD, Bytes> Stored(const std::wstring& name) const {
    auto key = Open();
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &size)) return {kMissing, {}};
    Bytes data(size + 1);
    ::RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, data.data(), &size);
    return data.resize(size), std::pair{type, data};
  }
  std::unique_ptr<HKEY__, decltype(&::RegCloseKey)> Open() const {
    HKEY key = nullptr;
    ::RegOpenKeyExW(HKEY_CURRENT_USER, scratch.path.c_str(), 0, KEY_ALL_ACCESS, &key);
    return {key, &::RegCloseKey};
  }
};

TEST_F(ValueData, EveryTypeStoresExactlyItsBytesAndReadsBack) {
  const Bytes ff8(8, 0xFF), ff4(4, 0xFF);
  DECIMAL max{};
  max.Lo64 = ULLONG_MAX;
  Variant decimal;
  V_DECIMAL(&decimal) = max, V_VT(&decimal) = VT_DECIMAL;
  const std::wstring han = L"\u0101\u6F22\xD83D\xDE00";
  // A row without a value given stores its bytes straight through the
  // registry, in a buffer whose next bytes are not zero (the registry was
  // seen to add a terminator where they were).
  struct Row { const wchar_t* name; DWORD type; Variant given; Bytes bytes; std::wstring read; };
  const Row rows[] = {
      {L"sz", REG_SZ, L"text", Units({L"text", 5}), L"s'text'"},
      {L"sz number", REG_SZ, 42, Units({L"42", 3}), L"s'42'"},
      {L"sz empty", REG_SZ, L"", {0, 0}, L"s''"},
      {L"expand", REG_EXPAND_SZ, L"%PATH%;x", Units({L"%PATH%;x", 9}), L"s'%PATH%;x'"},
      {L"multi", REG_MULTI_SZ, Array({L"a", L"bc"}), Units({L"a\0bc\0", 6}), L"[s'a',s'bc']"},
      {L"multi wide", REG_MULTI_SZ, Array({han}), Units(han + std::wstring(2, L'\0')), L"[s'" + han + L"']"},
      {L"multi empty", REG_MULTI_SZ, Array({}), {0, 0}, L"[]"},
      {L"dword -1", REG_DWORD, -1, ff4, L"i-1"},
      {L"dword max", REG_DWORD, R8(4294967295.0), ff4, L"i-1"},
      {L"dword text", REG_DWORD, L"-2147483648", {0, 0, 0, 0x80}, L"i-2147483648"},
      {L"qword text", REG_QWORD, L"18446744073709551615", ff8, L"s'18446744073709551615'"},
      {L"qword ui8", REG_QWORD, Typed(VT_UI8, ULLONG_MAX), ff8, L"s'18446744073709551615'"},
      {L"qword decimal", REG_QWORD, decimal, ff8, L"s'18446744073709551615'"},
      {L"qword i8", REG_QWORD, Typed(VT_I8, 0x0102030405060708), {8, 7, 6, 5, 4, 3, 2, 1}, L"s'72623859790382856'"},
      {L"binary", REG_BINARY, Array({LONG{0}, L"127", R8(255)}), {0, 127, 255}, L"[b0,b127,b255]"},
      {L"binary bytes", REG_BINARY, Vector<BYTE>(VT_UI1, {1, 2}), {1, 2}, L"[b1,b2]"},
      {L"binary empty", REG_BINARY, Array({}), {}, L"[]"},
      {L"none", REG_NONE, Array({5}), {5}, L"[b5]"},
      {L"type 9", 9, Array({9, 8}), {9, 8}, L"[b9,b8]"},
      {L"type 12", 12, Vector<BYTE>(VT_UI1, {}), {}, L"[]"},
      // Data that its type does not describe.
      {L"dword of 3 bytes", REG_DWORD, {}, {1, 2, 3}, L"[b1,b2,b3]"},
      {L"dword of 5 bytes", REG_DWORD, {}, {1, 0, 0, 0, 0}, L"[b1,b0,b0,b0,b0]"},
      {L"qword of 4 bytes", REG_QWORD, {}, {1, 0, 0, 0}, L"[b1,b0,b0,b0]"},
      {L"sz odd byte", REG_SZ, {}, {'a', 0, 'b'}, L"s'a'"},
      {L"sz no data", REG_SZ, {}, {}, L"s''"},
      {L"multi empty inside", REG_MULTI_SZ, {}, Units({L"a\0\0b\0", 6}), L"[s'a',s'',s'b']"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(row.name)));
    Variant done, read;
    if (V_VT(&row.given) == VT_EMPTY) {
      Bytes padded = row.bytes;
      padded.insert(padded.end(), 4, 0xEE);
      ASSERT_EQ(0, ::RegSetValueExW(Open().get(), row.name, 0, row.type, padded.data(), row.bytes.size()));
    } else {
      ASSERT_EQ(S_OK, Call(L"SetValue", {row.name, row.given, static_cast<LONG>(row.type)}, &done));
      EXPECT_EQ(VT_BOOL, V_VT(&done));
      EXPECT_EQ(VARIANT_TRUE, V_BOOL(&done));
    }
    EXPECT_EQ(std::pair(row.type, row.bytes), Stored(row.name));
    ASSERT_EQ(S_OK, Call(L"GetValue", {row.name}, &read));
    EXPECT_EQ(row.read, Shown(read));
  }

  // SetValue reloads the records; a missing value or key is an error, and
  // SetValue where the key is missing creates nothing.
  Variant count, read;
  std::wstring description;
  ASSERT_EQ(S_OK, Call(L"SetValue", {L"sz", L"again", REG_SZ}, &read));
  ASSERT_EQ(S_OK, Invoke(values.Get(), 0x68030002, kGet, {}, &count));
  EXPECT_EQ(static_cast<LONG>(std::size(rows)), V_I4(&count));
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), Call(L"GetValue", {L"missing"}, &read, &description));
  EXPECT_NE(L"", description);
  ASSERT_EQ(S_OK, Invoke(values.Get(), 0x68030001, kPut, {scratch.Below(L"missing")}));
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), Call(L"GetValue", {L"sz"}, &read, &description));
  EXPECT_NE(L"", description);
  ASSERT_EQ(S_OK, Call(L"SetValue", {L"v", L"x", REG_SZ}, &read));
  EXPECT_EQ(VARIANT_FALSE, V_BOOL(&read));
  EXPECT_FALSE(scratch.Has(L"missing"));
}

TEST_F(ValueData, ARefusedValueStoresNothingAndLeavesTheValueAsItWas) {
  Variant null, done;
  V_VT(&null) = VT_NULL;
  const Bytes kept = {7, 0, 0, 0};
  ASSERT_EQ(0, ::RegSetValueExW(Open().get(), L"kept", 0, REG_DWORD, kept.data(), 4));
  // The value given, its type, and the error number scripts see.
  const struct { Variant given; DWORD type; WORD number; } rows[] = {
      {L"seven", REG_DWORD, 13}, {R8(4294967296.0), REG_DWORD, 6}, {R8(1.5), REG_DWORD, 5},
      {Array({L"a", L""}), REG_MULTI_SZ, 5}, {null, REG_SZ, 94}};
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << "row " << &row - rows);
    for (const wchar_t* name : {L"kept", L"new"}) {
      std::wstring description;
      HRESULT hr = Call(L"SetValue", {name, row.given, static_cast<LONG>(row.type)}, &done, &description);
      EXPECT_EQ(static_cast<HRESULT>(0x800A0000u | row.number), hr) << testing::PrintToString(std::wstring(name));
      EXPECT_NE(L"", description);
    }
    EXPECT_EQ(std::pair(DWORD{REG_DWORD}, kept), Stored(L"kept"));
    EXPECT_EQ(kMissing, Stored(L"new").first) << "nothing was created";
  }
}

}  // namespace
}  // namespace client
