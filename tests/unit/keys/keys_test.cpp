// The sub-key collection: lazy loading into key objects, lookups, Add, and
// Delete of whole trees, with the faults a registry can answer.
#include <gtest/gtest.h>

#include <algorithm>

#include "keys/keys.h"
#include "platform/registry.h"
#include "support/com.h"
#include "support/registry_recording.h"
#include "support/scratch_key.h"

namespace vorn {
namespace {

using test::B;
using test::Fn;
using test::Recorder;
using test::ScratchKey;
using test::W;
using Member = HRESULT (STDMETHODCALLTYPE _clsKeys::*)(BSTR*, VARIANT_BOOL*);

std::string Narrow(const std::wstring& s) { return std::string(s.begin(), s.end()); }

class KeysTest : public ::testing::Test {
 protected:
  void SetUp() override { Recorder::Get().Reset(); }
  void TearDown() override {
    Recorder::Get().Reset();
    EXPECT_EQ(0, Recorder::Get().OpenHandles()) << "a registry handle outlived a call";
  }

  static ComPtr<_clsKeys> Open(const std::wstring& path, LONG root = ScratchKey::kRoot) {
    ComPtr<_clsKeys> keys(Keys::Create()->Published());
    EXPECT_EQ(S_OK, keys->put_HKEY(&root));
    unique_bstr p = B(path);
    EXPECT_EQ(S_OK, keys->put_Path(&p.ref()));
    return keys;
  }
  static LONG Count(_clsKeys* keys) {
    LONG n = -1;
    EXPECT_EQ(S_OK, keys->get_Count(&n));
    return n;
  }
  // KeyExists, Add or Delete with name; the name variable must come back unchanged.
  static bool Ask(_clsKeys* keys, Member member, const std::wstring& name) {
    unique_bstr n = B(name);
    VARIANT_BOOL b = 1;
    EXPECT_EQ(S_OK, (keys->*member)(&n.ref(), &b));
    EXPECT_EQ(name, W(n.get()));
    EXPECT_TRUE(b == VARIANT_TRUE || b == VARIANT_FALSE);
    return b == VARIANT_TRUE;
  }
  static ComPtr<_clsKey> Item(_clsKeys* keys, unique_variant index) {
    ComPtr<_clsKey> item;
    EXPECT_EQ(S_OK, keys->get_Item(&index.ref(), item.put()));
    return item;
  }
  static std::wstring PathOf(_clsKey* key) {
    unique_bstr p;
    EXPECT_EQ(S_OK, key->get_Path(p.put()));
    return W(p.get());
  }
  static std::wstring NameOf(_clsKey* key) {
    unique_bstr p;
    EXPECT_EQ(S_OK, key->get_Name(p.put()));
    return W(p.get());
  }
};

TEST_F(KeysTest, LoadsLazilyOnceAndKeepsItsItemsUntilRefresh) {
  ScratchKey scratch;
  for (auto* name : {L"b", L"A", L"c"}) scratch.CreateKey(name);
  scratch.CreateKey(L"other");

  EXPECT_EQ(0, Count(Open(scratch.Path(), 0).get())) << "root 0 opens nothing";
  Recorder::Get().Reset();
  auto keys = Open(L"  \\" + scratch.Path() + L"\\ ");
  EXPECT_EQ(0u, Recorder::Get().Calls().size()) << "assignments read nothing";

  EXPECT_EQ(4, Count(keys.get()));
  auto names = scratch.SubKeyNames(L"");
  ASSERT_EQ(4u, names.size());
  for (LONG i = 1; i <= 4; ++i) {
    auto item = Item(keys.get(), test::VI4(i));
    EXPECT_EQ(scratch.Below(names[i - 1]), PathOf(item.get()));
    VARIANT_BOOL exists = 0;
    EXPECT_EQ(S_OK, item->get_Exists(&exists));
    EXPECT_EQ(VARIANT_TRUE, exists);
  }

  // Another parent and new sub-keys are seen only after Refresh.
  Recorder::Get().Reset();
  unique_bstr other = B(scratch.Below(L"other"));
  ASSERT_EQ(S_OK, keys->put_Path(&other.ref()));
  scratch.CreateKey(L"d");
  EXPECT_EQ(4, Count(keys.get()));
  EXPECT_EQ(0u, Recorder::Get().Calls().size());
  ASSERT_EQ(S_OK, keys->Refresh());
  EXPECT_EQ(0, Count(keys.get()));

  // A refresh that could not open its parent is not repeated by reads.
  auto later = Open(scratch.Below(L"later"));
  EXPECT_EQ(0, Count(later.get()));
  scratch.CreateKey(L"later\\x");
  EXPECT_EQ(0, Count(later.get()));
  EXPECT_FALSE(Ask(later.get(), &_clsKeys::get_KeyExists, L"x"));
  ASSERT_EQ(S_OK, later->Refresh());
  EXPECT_EQ(1, Count(later.get()));
}

TEST_F(KeysTest, RefreshCostGrowsWithDirectSubKeysNeverWithDepth) {
  ScratchKey scratch;
  for (auto* path : {L"a\\1\\2\\3", L"b\\1\\2", L"c"}) scratch.CreateKey(path);
  auto keys = Open(scratch.Path());
  ASSERT_EQ(S_OK, keys->Refresh());
  // The parent, then two opens per item (its root, its path), each closed.
  EXPECT_EQ(1u + 2 * 3, Recorder::Get().CountOf(Fn::OpenKeyEx));
  EXPECT_EQ(1u + 2 * 3, Recorder::Get().CountOf(Fn::CloseKey));
  EXPECT_EQ(3u + 1, Recorder::Get().CountOf(Fn::EnumKeyEx));
  EXPECT_EQ(registry::kRead, Recorder::Get().Calls().front().access);
}

TEST_F(KeysTest, ItemIsTheHeldObjectByPositionOrByName) {
  ScratchKey scratch;
  for (auto* name : {L"0", L"1", L"Name"}) scratch.CreateKey(name);
  auto keys = Open(scratch.Path());
  auto names = scratch.SubKeyNames(L"");
  LONG at = static_cast<LONG>(std::find(names.begin(), names.end(), L"1") - names.begin()) + 1;
  ASSERT_NE(1, at) << "the test needs the key named 1 elsewhere than at position 1";

  EXPECT_EQ(names[0], NameOf(Item(keys.get(), test::VI4(1)).get()));
  EXPECT_EQ(L"1", NameOf(Item(keys.get(), test::VStr(L"1")).get()));
  EXPECT_EQ(Item(keys.get(), test::VI4(at)).get(), Item(keys.get(), test::VStr(L"1")).get());
  EXPECT_EQ(Item(keys.get(), test::VStr(L"NAME")).get(), Item(keys.get(), test::VStr(L"name")).get());

  ComPtr<_clsKey> none;
  unique_variant past = test::VI4(4), missing = test::VStr(L"nope");
  EXPECT_EQ(errors::kSubscriptOutOfRange, keys->get_Item(&past.ref(), none.put()));
  EXPECT_EQ(errors::kInvalidProcedureCall, keys->get_Item(&missing.ref(), none.put()));
}

TEST_F(KeysTest, KeyExistsLooksUpNamesOnlyIgnoringCaseAndSpaces) {
  ScratchKey scratch;
  for (auto* name : {L"Alpha", L"2"}) scratch.CreateKey(name);
  auto keys = Open(scratch.Path());
  struct Case { const wchar_t* name; bool found; };
  for (Case c : {Case{L"alpha", true}, Case{L"  ALPHA  ", true}, Case{L"2", true}, Case{L" 2 ", true},
                 Case{L"1", false}, Case{L"Alp", false}, Case{L"\tAlpha", false}, Case{L"", false}}) {
    EXPECT_EQ(c.found, Ask(keys.get(), &_clsKeys::get_KeyExists, c.name)) << Narrow(c.name);
  }
}

TEST_F(KeysTest, AddCreatesAtOnceAndLeavesTheItemsAlone) {
  ScratchKey scratch;
  scratch.CreateKey(L"old");
  auto keys = Open(scratch.Path());
  EXPECT_EQ(1, Count(keys.get()));

  EXPECT_TRUE(Ask(keys.get(), &_clsKeys::Add, L"old"));
  EXPECT_TRUE(Ask(keys.get(), &_clsKeys::Add, L"new"));
  EXPECT_TRUE(Ask(keys.get(), &_clsKeys::Add, L"deep\\er\\key"));
  EXPECT_TRUE(scratch.KeyExists(L"new"));
  EXPECT_TRUE(scratch.KeyExists(L"deep\\er\\key"));
  EXPECT_FALSE(Ask(keys.get(), &_clsKeys::get_KeyExists, L"new"));
  EXPECT_EQ(1, Count(keys.get()));
  ASSERT_EQ(S_OK, keys->Refresh());
  EXPECT_TRUE(Ask(keys.get(), &_clsKeys::get_KeyExists, L"new"));
  EXPECT_EQ(3, Count(keys.get()));

  auto missing = Open(scratch.Below(L"missing"));
  EXPECT_FALSE(Ask(missing.get(), &_clsKeys::Add, L"x"));
  EXPECT_FALSE(scratch.KeyExists(L"missing"));
  EXPECT_EQ(0, Recorder::Get().OpenHandles());
}

TEST_F(KeysTest, DeleteRemovesWholeTreesAndOnlyThem) {
  ScratchKey scratch;
  for (auto* path : {L"t\\a\\a1\\x", L"t\\a\\a2", L"t\\b\\b1", L"t\\b\\b2\\y\\z", L"t\\c", L"keep\\k", L"d\\e\\f"})
    scratch.CreateKey(path);
  auto keys = Open(scratch.Path());
  EXPECT_EQ(3, Count(keys.get()));

  EXPECT_TRUE(Ask(keys.get(), &_clsKeys::Delete, L"t"));
  EXPECT_TRUE(Ask(keys.get(), &_clsKeys::Delete, L"d\\e"));
  EXPECT_FALSE(scratch.KeyExists(L"t"));
  EXPECT_FALSE(scratch.KeyExists(L"d\\e"));
  EXPECT_TRUE(scratch.KeyExists(L"d"));
  EXPECT_TRUE(scratch.KeyExists(L"keep\\k"));
  EXPECT_EQ(3, Count(keys.get())) << "items stay until Refresh";

  Recorder::Get().Reset();
  EXPECT_FALSE(Ask(keys.get(), &_clsKeys::Delete, L"t"));
  EXPECT_EQ(0u, Recorder::Get().CountOf(Fn::DeleteKey));
  EXPECT_TRUE(Ask(keys.get(), &_clsKeys::Delete, L"keep\\k"));
  EXPECT_EQ(1u, Recorder::Get().CountOf(Fn::DeleteKey)) << "a key without sub-keys: one delete";
}

TEST_F(KeysTest, ASubKeyThatCannotBeDeletedKeepsItsParentButNotItsSiblings) {
  ScratchKey scratch;
  for (auto* path : {L"p\\a\\x", L"p\\b\\x", L"p\\b\\y", L"p\\c"}) scratch.CreateKey(path);
  Recorder::Get().FailNamed(Fn::DeleteKey, Narrow(scratch.Below(L"p\\b\\x")), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(Ask(Open(scratch.Path()).get(), &_clsKeys::Delete, L"p"));
  EXPECT_EQ(std::vector<std::wstring>{L"b"}, scratch.SubKeyNames(L"p"));
  EXPECT_EQ(std::vector<std::wstring>{L"x"}, scratch.SubKeyNames(L"p\\b"));
}

// Names that add no component to the parent's path name the parent itself
// (or the root): Delete refuses them. ".." is an ordinary key name.
TEST_F(KeysTest, DeleteNeverRemovesTheParentOrAnythingAboveIt) {
  ScratchKey scratch;
  scratch.CreateKey(L"p\\child");
  scratch.CreateKey(L"p\\..");
  for (auto* name : {L"", L" ", L"   ", L"\\", L" \\ ", L"\\\\", L"\\\\\\", L" \\\\ "}) {
    Recorder::Get().Reset();
    EXPECT_FALSE(Ask(Open(scratch.Below(L"p")).get(), &_clsKeys::Delete, name)) << Narrow(name);
    // At the root, with every delete refused as a safety net.
    Recorder::Get().SetFault([](const test::Call& c) -> std::optional<LONG> {
      if (c.fn == Fn::DeleteKey) return ERROR_ACCESS_DENIED;
      return std::nullopt;
    });
    EXPECT_FALSE(Ask(Open(L"").get(), &_clsKeys::Delete, name)) << Narrow(name);
    EXPECT_EQ(0u, Recorder::Get().CountOf(Fn::DeleteKey)) << Narrow(name);
  }
  EXPECT_TRUE(scratch.KeyExists(L"p\\child"));
  Recorder::Get().Reset();
  EXPECT_TRUE(Ask(Open(scratch.Below(L"p")).get(), &_clsKeys::Delete, L".."));
  EXPECT_EQ(std::vector<std::wstring>{L"child"}, scratch.SubKeyNames(L"p"));
}

// A sub-key named only with spaces has no path of its own once trimmed: its
// item stands for the parent. Deleting the parent's tree fails and ends.
TEST_F(KeysTest, ASpacesOnlySubKeyStopsTheDeletionOfItsParent) {
  ScratchKey scratch;
  for (auto* path : {L"p\\ ", L"p\\other\\x"}) scratch.CreateKey(path);
  auto items = Open(scratch.Below(L"p"));
  ASSERT_EQ(2, Count(items.get()));

  EXPECT_FALSE(Ask(Open(scratch.Path()).get(), &_clsKeys::Delete, L"p"));
  EXPECT_EQ(std::vector<std::wstring>{L" "}, scratch.SubKeyNames(L"p"));
}

TEST_F(KeysTest, TrailingSpacesAreTrimmedAndACollisionEndsTheRefresh) {
  ScratchKey scratch;
  scratch.CreateKey(L"x  ");
  auto keys = Open(scratch.Path());
  EXPECT_TRUE(Ask(keys.get(), &_clsKeys::get_KeyExists, L"x"));
  auto item = Item(keys.get(), test::VStr(L"x"));
  EXPECT_EQ(scratch.Below(L"x"), PathOf(item.get()));
  VARIANT_BOOL exists = 1;
  EXPECT_EQ(S_OK, item->get_Exists(&exists));
  EXPECT_EQ(VARIANT_FALSE, exists);

  // A sibling with the trimmed name: the keyed collection refuses the second
  // and the refresh ends there, keeping the first and closing the parent.
  scratch.CreateKey(L"x");
  EXPECT_EQ(errors::kDuplicateKey, keys->Refresh());
  EXPECT_EQ(1, Count(keys.get()));
}

// A key whose name begins with a space stands beside the key without it;
// trimming must never turn a deletion of the one into a deletion below the
// other. Both live at the root of HKEY_CURRENT_USER (of the test prefix).
TEST_F(KeysTest, ALeadingSpaceNeverRedirectsADeletionToAnotherKey) {
  std::wstring name = L"VornKeysTest." + std::to_wstring(::GetCurrentProcessId());
  std::wstring spaced = L" " + name;
  auto cleanup = [&] {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, name.c_str());
    ::RegDeleteTreeW(HKEY_CURRENT_USER, spaced.c_str());
  };
  cleanup();
  HKEY h;
  for (auto path : {spaced + L"\\own", name + L"\\other"}) {
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyW(HKEY_CURRENT_USER, path.c_str(), &h));
    ::RegCloseKey(h);
  }
  EXPECT_FALSE(Ask(Open(L"").get(), &_clsKeys::Delete, spaced));
  EXPECT_FALSE(Ask(Open(L"\\" + spaced).get(), &_clsKeys::Delete, L"other"));
  for (auto path : {spaced + L"\\own", name + L"\\other"}) {
    EXPECT_EQ(ERROR_SUCCESS, ::RegOpenKeyW(HKEY_CURRENT_USER, path.c_str(), &h)) << Narrow(path);
    ::RegCloseKey(h);
  }
  cleanup();
}

struct EnumFault {
  LONG status;
  DWORD from, to;  // indices answered with status (bounded, so that a loop that
                   // never ends on its own still ends at the registry's 259)
  LONG count;      // items out of three
  size_t calls;    // enumeration calls
};
void PrintTo(const EnumFault& f, std::ostream* os) { *os << "status " << f.status << " at " << f.from << ".." << f.to; }

class KeysEnumTest : public KeysTest, public ::testing::WithParamInterface<EnumFault> {};

TEST_P(KeysEnumTest, AFailedIndexIsSkippedAndAGoneKeyEndsTheEnumeration) {
  ScratchKey scratch;
  for (auto* name : {L"a", L"b", L"c"}) scratch.CreateKey(name);
  EnumFault f = GetParam();
  Recorder::Get().SetFault([f](const test::Call& c) -> std::optional<LONG> {
    if (c.fn == Fn::EnumKeyEx && c.index >= f.from && c.index <= f.to) return f.status;
    return std::nullopt;
  });
  auto keys = Open(scratch.Path());
  EXPECT_EQ(f.count, Count(keys.get()));
  EXPECT_EQ(f.calls, Recorder::Get().CountOf(Fn::EnumKeyEx));
}

INSTANTIATE_TEST_SUITE_P(Table, KeysEnumTest,
                         ::testing::Values(EnumFault{ERROR_KEY_DELETED, 1, 64, 1, 2},
                                           EnumFault{ERROR_INVALID_HANDLE, 0, 64, 0, 1},
                                           EnumFault{ERROR_MORE_DATA, 1, 1, 2, 4},
                                           EnumFault{ERROR_ACCESS_DENIED, 0, 0, 2, 4}));

TEST_F(KeysTest, AParentDeletedWhileReadEndsTheEnumeration) {
  ScratchKey scratch;
  for (auto* name : {L"a", L"b", L"c"}) scratch.CreateKey(name);
  std::wstring parent = scratch.Path();
  Recorder::Get().SetFault([parent](const test::Call& c) -> std::optional<LONG> {
    if (c.fn == Fn::EnumKeyEx && c.index == 1) ::RegDeleteTreeW(HKEY_CURRENT_USER, parent.c_str());
    if (c.fn == Fn::EnumKeyEx && c.index > 64) return ERROR_NO_MORE_ITEMS;  // bounds a faulty loop
    return std::nullopt;
  });
  auto keys = Open(parent);
  EXPECT_EQ(1, Count(keys.get()));
  EXPECT_EQ(2u, Recorder::Get().CountOf(Fn::EnumKeyEx));
}

TEST_F(KeysTest, TextOutsideTheCodePageIsNeitherCreatedNorDeleted) {
  ScratchKey scratch;
  scratch.CreateKey(L"a");  // what U+0101 would best-fit to
  auto keys = Open(scratch.Path());
  EXPECT_FALSE(Ask(keys.get(), &_clsKeys::Add, L"\u0101"));
  EXPECT_FALSE(Ask(keys.get(), &_clsKeys::Add, L"b\\\u6F22"));
  EXPECT_FALSE(Ask(keys.get(), &_clsKeys::Delete, L"\u0101"));
  EXPECT_EQ(0u, Recorder::Get().CountOf(Fn::CreateKey));
  EXPECT_EQ(0u, Recorder::Get().CountOf(Fn::DeleteKey));
  EXPECT_EQ(std::vector<std::wstring>{L"a"}, scratch.SubKeyNames(L""));
}

TEST_F(KeysTest, EmptyPathListsTheRootsSubKeysByBareName) {
  auto keys = Open(L"\\");
  auto item = Item(keys.get(), test::VStr(L"software"));
  EXPECT_EQ(L"Software", PathOf(item.get()));
}

TEST_F(KeysTest, LateBoundCallsLeaveTheCallersVariablesAlone) {
  ScratchKey scratch;
  scratch.CreateKey(L"1");
  scratch.CreateKey(L"gone");
  auto keys = Open(scratch.Path());
  struct Case { const wchar_t* member; unique_variant arg; bool result; };
  Case cases[] = {{L"KeyExists", test::VStr(L"  gone "), true}, {L"KeyExists", test::VI4(1), true},
                  {L"Add", test::VStr(L"new "), true},          {L"Delete", test::VStr(L"gone "), true}};
  for (Case& c : cases) {
    unique_variant before;
    ASSERT_EQ(S_OK, ::VariantCopy(&before.ref(), &c.arg.ref()));
    auto r = test::Invoke(keys.get(), c.member, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {test::Ref(c.arg.ref())});
    ASSERT_EQ(S_OK, r.error()) << Narrow(c.member);
    EXPECT_EQ(VT_BOOL, V_VT(&r.value.ref()));
    EXPECT_EQ(c.result ? VARIANT_TRUE : VARIANT_FALSE, V_BOOL(&r.value.ref())) << Narrow(c.member);
    EXPECT_EQ(VARCMP_EQ, ::VarCmp(&before.ref(), &c.arg.ref(), 0, 0)) << Narrow(c.member);
    EXPECT_EQ(V_VT(&before.ref()), V_VT(&c.arg.ref()));
  }
  EXPECT_TRUE(scratch.KeyExists(L"new ")) << "Add takes the name exactly as given";

  ComPtr<IDispatch> disp = keys.query<IDispatch>(IID_IDispatch);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  unique_variant result;
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, disp->Invoke(DISPID_NEWENUM, IID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                                &none, &result.ref(), nullptr, nullptr));
}

}  // namespace
}  // namespace vorn
