// The key object's CopyTree and Rename through IDispatch, as a script calls
// them: exact copies, refusals that write nothing, failures part-way that
// leave the registry as it was, and Rename with and without RegRenameKey.
#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <tuple>

#include "keys/key.h"
#include "trees/key_tree.h"
#include "harness/registry_test.h"

namespace vorn {
namespace {

using namespace test;
using registry::RawValue;

// Every kind of data, string data that a careless write changes included
// (without a terminator, or of an odd size ending in a zero byte).
const std::vector<RawValue> kValues = {
    {L"", REG_SZ, {'d', 0, 0, 0}},          {L"unterminated", REG_SZ, {'a', 0, 'b', 0}},
    {L"odd", REG_SZ, {'a', 0, 'b', 0, 0}},   {L"one", REG_EXPAND_SZ, {'x'}},
    {L"multi", REG_MULTI_SZ, {'a', 0, 0, 0, 0, 0}}, {L"dword3", REG_DWORD, {1, 2, 3}},
    {L"qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}}, {L"none", REG_NONE, {}},
    {L"binary", REG_BINARY, std::vector<BYTE>(5000, 0xAB)}, {L"own", 0x4242, {7}}};

class TreeCopyTest : public RegistryTest {
 protected:
  unique_hkey Open(const std::wstring& sub) {
    unique_hkey key;
    registry::OpenSubKey(HKEY_CURRENT_USER, scratch_.Below(sub).c_str(), registry::kRead | registry::kWrite, key);
    return key;
  }
  // The tree at sub, or one named "(missing)" when there is no such key.
  KeyTree Tree(const std::wstring& sub = L"") {
    unique_hkey key = Open(sub);
    return key ? ReadTree(key.get(), sub, 0) : KeyTree{L"(missing)", {}, {}};
  }
  // Written with zero bytes just past each value's data, where the registry
  // looks for a terminator that the data lacks: it must store them exactly.
  void MakeSource(const std::wstring& sub) {
    KeyTree tree{L"", kValues, {{L"Sub", kValues, {{L"Leaf", kValues, {}}}}, {L"Empty", {}, {}}}};
    for (RawValue& v : tree.values) {
      size_t size = v.data.size();
      v.data.resize(size + 3);
      v.data.resize(size);
    }
    scratch_.CreateKey(sub);
    WriteTree(Open(sub).get(), tree, sub, 0);
    EXPECT_TRUE(Same(tree, Tree(sub)));
  }
  // The same names, types and bytes, in any order.
  static bool Same(const KeyTree& a, const KeyTree& b) {
    auto value_in_b = [&](const RawValue& x) {
      return std::any_of(b.values.begin(), b.values.end(), [&](const RawValue& y) {
        return x.name == y.name && x.type == y.type && x.data == y.data;
      });
    };
    auto child_in_b = [&](const KeyTree& x) {
      return std::any_of(b.children.begin(), b.children.end(),
                         [&](const KeyTree& y) { return x.name == y.name && Same(x, y); });
    };
    return a.values.size() == b.values.size() && a.children.size() == b.children.size() &&
           std::all_of(a.values.begin(), a.values.end(), value_in_b) &&
           std::all_of(a.children.begin(), a.children.end(), child_in_b);
  }
  static HRESULT Run(Key* key, const wchar_t* member, unique_variant argument) {
    unique_variant result;
    HRESULT hr = Invoke(key->Published(), member, DISPATCH_METHOD, {argument.ref()}, &result.ref());
    if (hr == S_OK) {
      EXPECT_EQ(VARIANT_TRUE, V_BOOL(&result.ref()));
    }
    return hr;
  }
  // A key object, or Nothing for null.
  static unique_variant Object(Key* key) {
    unique_variant v;
    V_VT(&v.ref()) = VT_DISPATCH;
    if (key) V_DISPATCH(&v.ref()) = ComPtr<IDispatch>(key->Published()).detach();
    return v;
  }
  // Fails every call of fn for which `which` holds, and RegRenameKey too when
  // missing is set (as on a platform without it).
  void Fault(bool missing, Fn fn = Fn::CloseKey, std::function<bool(const test::Call&)> which = {}) {
    Rec().fault = [=](const test::Call& c) -> std::optional<LONG> {
      if (missing && c.fn == Fn::RenameKey) return ERROR_CALL_NOT_IMPLEMENTED;
      if (which && c.fn == fn && which(c)) return ERROR_ACCESS_DENIED;
      return std::nullopt;
    };
  }
};

TEST_F(TreeCopyTest, CopiesEveryValueExactlyToAPathOrAKeyObjectAndRefreshes) {
  MakeSource(L"src");
  auto source = Aimed<Key>(scratch_.Below(L"src"));
  // A path below the same root; the keys missing along it are made.
  EXPECT_EQ(S_OK, Run(source.get(), L"CopyTree", VStr(scratch_.Below(L"new\\deep\\copy"))));
  EXPECT_TRUE(Same(Tree(L"src"), Tree(L"new\\deep\\copy")));
  // A key object, with its own view (HKCU\Software is one key in both).
  auto destination = Aimed<Key>(scratch_.Below(L"other"));
  ASSERT_EQ(S_OK, Invoke(destination->Published(), L"View", DISPATCH_PROPERTYPUT, {VI4(64).ref()}));
  EXPECT_EQ(S_OK, Run(source.get(), L"COPYTREE", Object(destination.get())));
  EXPECT_TRUE(Same(Tree(L"src"), Tree(L"other")));
  EXPECT_EQ(VARIANT_TRUE, Read(destination.get(), &Key::get_Exists));
  EXPECT_TRUE(std::any_of(Rec().calls.begin(), Rec().calls.end(), [](const test::Call& c) {
    return c.fn == Fn::CreateKeyEx && c.name == L"Leaf" && (c.access & KEY_WOW64_64KEY);
  }));
}

TEST_F(TreeCopyTest, RefusalsAreErrorsNamingTheKeyAndWriteNothing) {
  MakeSource(L"src");
  scratch_.CreateKey(L"taken");
  KeyTree before = Tree();
  auto source = Aimed<Key>(scratch_.Below(L"src")), missing = Aimed<Key>(scratch_.Below(L"gone")),
       root = Aimed<Key>(L"");
  const HRESULT exists = HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS), invalid = errors::kInvalidProcedureCall;
  std::tuple<Key*, const wchar_t*, unique_variant, HRESULT, const wchar_t*> cases[] = {
      {source.get(), L"CopyTree", VStr(scratch_.Below(L"taken")), exists, L"taken\""},
      {source.get(), L"CopyTree", VStr(scratch_.Below(L"SRC\\sub\\x")), invalid, L"SRC\\sub\\x\" lies inside"},
      {source.get(), L"CopyTree", VStr(L"\\"), exists, L"\"HKEY_CURRENT_USER\""},
      {source.get(), L"CopyTree", VStr(scratch_.Below(L"copy ")), invalid, L"spaces"},
      {source.get(), L"CopyTree", Object(nullptr), errors::kObjectRequired, L"Nothing"},
      {missing.get(), L"CopyTree", VStr(scratch_.Below(L"copy")), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
       L"gone\" does not exist"},
      {source.get(), L"Rename", VStr(L""), invalid, L"empty"},
      {source.get(), L"Rename", VStr(L"x\\y"), invalid, L"backslash"},
      {source.get(), L"Rename", VStr(L"x "), invalid, L"space"},
      {source.get(), L"Rename", VStr(L"TAKEN"), exists, L"TAKEN\" already"},
      {root.get(), L"Rename", VStr(L"x"), invalid, L"root"}};
  for (auto& [key, member, argument, hr, named] : cases) {
    Rec().calls.clear();
    EXPECT_EQ(hr, Run(key, member, std::move(argument))) << Narrow(named);
    std::wstring description = ThreadErrorDescription();
    EXPECT_NE(std::wstring::npos, description.find(named)) << Narrow(description);
    EXPECT_EQ(0u, CallsOf(Fn::SetValueEx) + CallsOf(Fn::CreateKeyEx) + CallsOf(Fn::RenameKey));
  }
  EXPECT_EQ(scratch_.Below(L"src"), PathOf(source.get()));
  EXPECT_TRUE(Same(before, Tree()));
}

// The native API can make a sub-key "x<NUL>y"; opened by its text it would
// be its sibling "x", copied or written in its place.
TEST_F(TreeCopyTest, NamesWithAZeroCharacterAreRefusedNotCutShort) {
  scratch_.CreateKey(L"src\\x_y");
  scratch_.CreateKey(L"src\\x");
  auto source = Aimed<Key>(scratch_.Below(L"src"));
  auto cut = Aimed<Key>(scratch_.Below(L"src") + std::wstring(1, L'\0') + L"x");
  const HRESULT invalid = errors::kInvalidProcedureCall;
  EXPECT_EQ(invalid, Run(cut.get(), L"CopyTree", VStr(scratch_.Below(L"copy"))));
  EXPECT_EQ(invalid, Run(source.get(), L"CopyTree", VStr(scratch_.Below(L"copy") + std::wstring(1, L'\0'))));
  EXPECT_EQ(invalid, Run(cut.get(), L"Rename", VStr(L"y")));
  EXPECT_EQ(invalid, Run(cut.get(), L"Find", VStr(L"x")));
  EXPECT_EQ(invalid, Run(cut.get(), L"Export", VStr(L"C:\\never.reg")));
  EXPECT_EQ(invalid, Run(cut.get(), L"Import", VStr(L"C:\\never.reg")));

  Rec().sub_key_name = [](wchar_t* name, DWORD length) { std::replace(name, name + length, L'_', L'\0'); };
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER), Run(source.get(), L"CopyTree", VStr(scratch_.Below(L"copy"))));
  Rec().Reset();
  EXPECT_EQ(VARIANT_FALSE, Read(Aimed<Key>(scratch_.Below(L"copy")).get(), &Key::get_Exists));
  EXPECT_EQ(VARIANT_TRUE, Read(Aimed<Key>(scratch_.Below(L"src\\x_y")).get(), &Key::get_Exists));
}

TEST_F(TreeCopyTest, AFailurePartWayRemovesWhatTheCopyCreated) {
  MakeSource(L"src");
  scratch_.CreateKey(L"there");
  KeyTree before = Tree();
  auto source = Aimed<Key>(scratch_.Below(L"src"));
  for (const wchar_t* destination : {L"made\\along\\copy", L"there\\copy"}) {
    Rec().FailNth(Fn::SetValueEx, 15, ERROR_ACCESS_DENIED);  // in the sub-key "Sub"
    EXPECT_EQ(E_ACCESSDENIED, Run(source.get(), L"CopyTree", VStr(scratch_.Below(destination))));
    EXPECT_NE(std::wstring::npos, ThreadErrorDescription().find(L"of the key \"HKEY_CURRENT_USER\\"));
    Rec().Reset();
    EXPECT_TRUE(Same(before, Tree())) << Narrow(destination);
  }
}

TEST_F(TreeCopyTest, ACopyIsExactWhenTheSourceChangesMeanwhileOrHoldsTheCopy) {
  MakeSource(L"src");
  auto source = Aimed<Key>(scratch_.Below(L"src"));
  // A value set in a source key after its count was taken: the copy made
  // as the source was read goes, and the source is copied whole again.
  auto counted = std::make_shared<int>(0);
  std::wstring leaf = scratch_.Below(L"src\\Sub\\Leaf");
  Rec().fault = [=](const test::Call& c) -> std::optional<LONG> {
    if (c.fn == Fn::QueryInfoKey) {
      ++*counted;  // src, Empty, Sub, then Leaf
    } else if (*counted == 4) {
      DWORD late = 7;
      ++*counted;
      ::RegSetKeyValueW(HKEY_CURRENT_USER, leaf.c_str(), L"late", REG_DWORD, &late, sizeof late);
    }
    return std::nullopt;
  };
  EXPECT_EQ(S_OK, Run(source.get(), L"CopyTree", VStr(scratch_.Below(L"copy"))));
  Rec().Reset();
  EXPECT_TRUE(scratch_.ValueExists(L"copy\\Sub\\Leaf", L"late"));
  EXPECT_TRUE(Same(Tree(L"src"), Tree(L"copy")));

  // A destination that a link puts inside the source: the copy is the
  // source as it was, not read again as it grows.
  HANDLE token = nullptr;
  BYTE user[256];
  DWORD size = 0;
  wchar_t* sid = nullptr;
  ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token));
  ASSERT_TRUE(::GetTokenInformation(token, TokenUser, user, sizeof user, &size));
  ::CloseHandle(token);
  ASSERT_TRUE(::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &sid));
  const std::wstring target = L"\\Registry\\User\\" + std::wstring(sid) + L"\\" + scratch_.Below(L"src");
  ::LocalFree(sid);
  HKEY link = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, scratch_.Below(L"link").c_str(), 0, nullptr,
                                            REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE, KEY_ALL_ACCESS | KEY_CREATE_LINK,
                                            nullptr, &link, nullptr));
  ::RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(target.data()),
                   static_cast<DWORD>(target.size() * sizeof(wchar_t)));
  ::RegCloseKey(link);
  KeyTree before = Tree(L"src");
  EXPECT_EQ(S_OK, Run(source.get(), L"CopyTree", VStr(scratch_.Below(L"link\\inside"))));
  EXPECT_TRUE(Same(before, Tree(L"src\\inside")));
  // The link itself goes (a delete through it would reach the source).
  ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_CURRENT_USER, scratch_.Below(L"link").c_str(), REG_OPTION_OPEN_LINK,
                                          DELETE, &link));
  auto delete_key = reinterpret_cast<LONG(WINAPI*)(HANDLE)>(
      reinterpret_cast<void (*)()>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtDeleteKey")));
  EXPECT_EQ(0, delete_key(link));
  ::RegCloseKey(link);
}

TEST_F(TreeCopyTest, RenameKeepsEverythingBelowWithOrWithoutRegRenameKey) {
  MakeSource(L"a");
  KeyTree tree = Tree(L"a");
  auto key = Aimed<Key>(scratch_.Below(L"a"));
  // With the platform's RegRenameKey, where the binding reaches it (never
  // under Wine, whose RegRenameKey can damage the registry server).
  if (test::PlatformRenamesKeys()) {
    EXPECT_EQ(S_OK, Run(key.get(), L"Rename", VStr(L"b")));
    EXPECT_EQ(1u, CallsOf(Fn::RenameKey));
    EXPECT_EQ(scratch_.Below(L"b"), PathOf(key.get()));
    EXPECT_EQ(VARIANT_TRUE, Read(key.get(), &Key::get_Exists));
    EXPECT_FALSE(scratch_.KeyExists(L"a"));
    EXPECT_TRUE(Same(tree, Tree(L"b")));
    // Letter case alone: where the platform renames so, or an error and
    // nothing changed.
    HRESULT hr = Run(key.get(), L"Rename", VStr(L"B"));
    EXPECT_EQ(std::vector<std::wstring>{hr == S_OK ? L"B" : L"b"}, scratch_.SubKeyNames(L"")) << hr;
    if (hr != S_OK) {
      EXPECT_NE(std::wstring::npos, ThreadErrorDescription().find(L"b\" cannot be renamed to \"B\""));
    }
    Rec().calls.clear();
  }

  // Without RegRenameKey: copied whole, then deleted.
  Fault(true);
  EXPECT_EQ(S_OK, Run(key.get(), L"Rename", VStr(L"c")));
  EXPECT_EQ(scratch_.Below(L"c"), PathOf(key.get()));
  EXPECT_EQ(std::vector<std::wstring>{L"c"}, scratch_.SubKeyNames(L""));
  EXPECT_TRUE(Same(tree, Tree(L"c")));
  // Letter case alone cannot be copied onto the key itself.
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_CALL_NOT_IMPLEMENTED), Run(key.get(), L"Rename", VStr(L"C")));

  // A failed copy is removed; a failed delete is written back and the copy
  // removed: either way the key is as it was.
  Fault(true, Fn::SetValueEx, [](const test::Call& c) { return c.name == L"binary"; });
  EXPECT_EQ(E_ACCESSDENIED, Run(key.get(), L"Rename", VStr(L"d")));
  auto once = std::make_shared<int>(0);
  Fault(true, Fn::DeleteOpenKey, [=](const test::Call& c) { return c.name == L"Leaf" && !(*once)++; });
  EXPECT_EQ(E_ACCESSDENIED, Run(key.get(), L"Rename", VStr(L"d")));
  EXPECT_NE(std::wstring::npos, ThreadErrorDescription().find(L"written back"));
  Rec().Reset();
  EXPECT_EQ(scratch_.Below(L"c"), PathOf(key.get()));
  EXPECT_EQ(std::vector<std::wstring>{L"c"}, scratch_.SubKeyNames(L""));
  EXPECT_TRUE(Same(tree, Tree(L"c")));
}

}  // namespace
}  // namespace vorn
