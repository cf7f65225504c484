// The sub-key collection: lazy loading into key objects, lookups, and Delete
// of whole trees, with the faults a registry can answer; and the calls that
// a registry view changes.
#include "keys/key.h"
#include "keys/keys.h"
#include "automation/module_count.h"
#include "registry/service.h"
#include "harness/registry_test.h"

namespace vorn {
namespace {

using namespace test;
using Names = std::vector<std::wstring>;

class KeysTest : public RegistryTest {
 protected:
  // Add or Delete through a new collection aimed at parent.
  static bool Below(const std::wstring& parent, decltype(&Keys::Delete) member, const std::wstring& name) {
    return Ask(Aimed<Keys>(parent).get(), member, name);
  }
};

TEST_F(KeysTest, LoadsLazilyOnceAtACostOfTwoOpensPerDirectSubKey) {
  for (auto* path : {L"A\\1\\2\\3", L"b\\1\\2", L"c"}) scratch_.CreateKey(path);
  auto keys = Aimed<Keys>(L"  \\" + scratch_.Path() + L"\\ ");
  EXPECT_TRUE(Rec().calls.empty()) << "assignments read nothing";
  EXPECT_EQ(3, Count(keys.get()));
  // The parent, then two opens per item (its root, its path), each closed;
  // never deeper into the tree.
  EXPECT_EQ(1u + 2 * 3, CallsOf(Fn::OpenKeyEx));
  EXPECT_EQ(1u + 2 * 3, CallsOf(Fn::CloseKey));
  EXPECT_EQ(3u + 1, CallsOf(Fn::EnumKeyEx));
  EXPECT_EQ(registry::kRead, Rec().calls.front().access);

  // A new sub-key or a new path is seen at the next refresh only.
  Rec().Reset();
  scratch_.CreateKey(L"d");
  SetPath(keys.get(), scratch_.Below(L"c"));
  EXPECT_EQ(3, Count(keys.get()));
  EXPECT_EQ(scratch_.Below(L"A"), PathOf(Item(keys.get(), VStr(L"a")).get()));
  EXPECT_TRUE(Rec().calls.empty()) << "a loaded collection answers from its items";
  ASSERT_EQ(S_OK, keys->Refresh());
  EXPECT_EQ(0, Count(keys.get()));
}

TEST_F(KeysTest, ItemsAreHeldObjectsFoundByPositionOrByNameAndKeyExistsByNameOnly) {
  for (auto* name : {L"0", L"1", L"Alpha"}) scratch_.CreateKey(name);
  auto keys = Aimed<Keys>(scratch_.Path());
  Names names = scratch_.SubKeyNames(L"");
  LONG at = static_cast<LONG>(std::find(names.begin(), names.end(), L"1") - names.begin()) + 1;
  ASSERT_NE(1, at) << "the test needs the key named 1 elsewhere than at position 1";
  EXPECT_EQ(names[0], NameOf(Item(keys.get(), VI4(1)).get()));
  EXPECT_EQ(Item(keys.get(), VI4(at)).get(), Item(keys.get(), VStr(L"1")).get());
  EXPECT_EQ(Item(keys.get(), VStr(L"ALPHA")).get(), Item(keys.get(), VStr(L"alpha")).get());
  EXPECT_FALSE(Item(keys.get(), VI4(4), errors::kSubscriptOutOfRange));
  EXPECT_FALSE(Item(keys.get(), VStr(L"nope"), errors::kInvalidProcedureCall));
  // KeyExists trims spaces (only), ignores case, and never takes a position.
  for (auto* name : {L"alpha", L"  ALPHA  ", L"1", L" 1 "}) EXPECT_TRUE(Ask(keys.get(), &Keys::get_KeyExists, name));
  for (auto* name : {L"2", L"Alp", L"\tAlpha", L""}) EXPECT_FALSE(Ask(keys.get(), &Keys::get_KeyExists, name));
  // An empty path lists the root's sub-keys, by their bare names.
  EXPECT_EQ(L"Software", PathOf(Item(Aimed<Keys>(L"\\").get(), VStr(L"software")).get()));
}

// An item's key object is made when it is first handed out, without a
// registry call, in the state the load's two opens left (Exists as found
// then, below the parent as it was then), and then handed out each time.
TEST_F(KeysTest, ItemsAreMadeWhenFirstHandedOutAsTheLoadFoundThem) {
  for (auto* name : {L"a", L"b"}) scratch_.CreateKey(name);
  LONG live = module_count::Value();
  auto keys = Aimed<Keys>(scratch_.Path());
  ASSERT_EQ(2, Count(keys.get()));
  ASSERT_EQ(ERROR_SUCCESS, ::RegDeleteKeyW(HKEY_CURRENT_USER, scratch_.Below(L"b").c_str()));
  SetPath(keys.get(), scratch_.Below(L"a"));
  Rec().Reset();
  auto b = Item(keys.get(), VStr(L"B"));
  EXPECT_TRUE(Rec().calls.empty()) << "made without opening anything";
  EXPECT_EQ(scratch_.Below(L"b"), PathOf(b.get()));
  EXPECT_EQ(ScratchKey::kRoot, Read(b.get(), &_clsKey::get_HKEY));
  EXPECT_EQ(VARIANT_TRUE, Read(b.get(), &_clsKey::get_Exists));
  ComPtr<_clsValues> its_values;
  ASSERT_EQ(S_OK, b->get_Values(its_values.put()));
  EXPECT_EQ(scratch_.Below(L"b"), PathOf(its_values.get())) << "its collections are configured";
  auto walked = Walk(keys->Published());
  ASSERT_EQ(2u, walked.size());
  for (LONG i = 1; i <= 2; ++i)
    EXPECT_EQ(static_cast<IDispatch*>(Item(keys.get(), VI4(i)).get()), walked[i - 1].get());
  EXPECT_EQ(b.get(), Item(keys.get(), VStr(L"b")).get());
  keys = ComPtr<Keys>();
  EXPECT_EQ(L"b", NameOf(b.get()));
  b = ComPtr<_clsKey>();
  its_values = ComPtr<_clsValues>();
  walked.clear();
  EXPECT_EQ(live, module_count::Value());
}

TEST_F(KeysTest, DeleteRemovesWholeTreesAndAddTakesTheNameAsGiven) {
  for (auto* path : {L"t\\a\\a1\\x", L"t\\a\\a2", L"t\\b\\y\\z", L"t\\c", L"k\\leaf", L"k\\keep"})
    scratch_.CreateKey(path);
  auto keys = Aimed<Keys>(scratch_.Path());
  EXPECT_TRUE(Ask(keys.get(), &Keys::Delete, L"t"));
  EXPECT_EQ(Names{L"k"}, scratch_.SubKeyNames(L""));
  Rec().Reset();
  EXPECT_FALSE(Ask(keys.get(), &Keys::Delete, L"t"));
  EXPECT_EQ(0u, CallsOf(Fn::DeleteOpenKey));
  EXPECT_TRUE(Ask(keys.get(), &Keys::Delete, L"k\\leaf"));
  EXPECT_EQ(1u, CallsOf(Fn::DeleteOpenKey)) << "a key without sub-keys: one delete";
  EXPECT_EQ(Names{L"keep"}, scratch_.SubKeyNames(L"k"));
  EXPECT_TRUE(Ask(keys.get(), &Keys::Add, L"new "));
  EXPECT_TRUE(scratch_.KeyExists(L"new ")) << "Add takes the name exactly as given";

  // Under a parent that cannot be opened, nothing is made or deleted.
  EXPECT_FALSE(Below(scratch_.Below(L"missing"), &Keys::Add, L"x"));
  EXPECT_FALSE(Below(scratch_.Below(L"missing"), &Keys::Delete, L"x"));
  EXPECT_FALSE(scratch_.KeyExists(L"missing"));
}

TEST_F(KeysTest, ASubKeyThatCannotBeDeletedKeepsItsParentButNotItsSiblings) {
  for (auto* path : {L"p\\a\\x", L"p\\b\\x", L"p\\b\\y", L"p\\c"}) scratch_.CreateKey(path);
  std::wstring denied = scratch_.Below(L"p\\b\\x");
  Rec().Fail(Fn::DeleteOpenKey, ERROR_ACCESS_DENIED,
             [=](const Call& c) { return _wcsicmp(c.name.c_str(), denied.c_str()) == 0; });
  EXPECT_FALSE(Below(scratch_.Path(), &Keys::Delete, L"p"));
  EXPECT_EQ(Names{L"b"}, scratch_.SubKeyNames(L"p"));
  EXPECT_EQ(Names{L"x"}, scratch_.SubKeyNames(L"p\\b"));
}

// Names that add no component to the parent's path name the parent itself
// (or the root): Delete refuses them. ".." is an ordinary key name.
TEST_F(KeysTest, DeleteNeverRemovesTheParentOrAnythingAboveIt) {
  scratch_.CreateKey(L"p\\child");
  scratch_.CreateKey(L"p\\..");
  for (auto* name : {L"", L" ", L"   ", L"\\", L" \\ ", L"\\\\", L"\\\\\\", L" \\\\ "}) {
    EXPECT_FALSE(Below(scratch_.Below(L"p"), &Keys::Delete, name)) << Narrow(name);
    // At the root, with every delete refused as a safety net.
    Rec().Fail(Fn::DeleteOpenKey, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(Below(L"", &Keys::Delete, name)) << Narrow(name);
    EXPECT_EQ(0u, CallsOf(Fn::DeleteOpenKey)) << Narrow(name);
    Rec().Reset();
  }
  EXPECT_TRUE(Below(scratch_.Below(L"p"), &Keys::Delete, L".."));
  EXPECT_EQ(Names{L"child"}, scratch_.SubKeyNames(L"p"));
}

// A sub-key named only with spaces has no path of its own once trimmed: its
// item stands for the parent. Deleting the parent's tree fails and ends.
TEST_F(KeysTest, ASpacesOnlySubKeyStopsTheDeletionOfItsParent) {
  for (auto* path : {L"p\\ ", L"p\\other\\x"}) scratch_.CreateKey(path);
  ASSERT_EQ(2, Count(Aimed<Keys>(scratch_.Below(L"p")).get()));
  EXPECT_FALSE(Below(scratch_.Path(), &Keys::Delete, L"p"));
  EXPECT_EQ(Names{L" "}, scratch_.SubKeyNames(L"p"));
}

// A key whose name begins or ends with a space stands beside the key
// without it; trimming must never turn a deletion of the one into a deletion
// of, or below, the other. The leading case lives at the root of
// HKEY_CURRENT_USER (of the test prefix), where only it can be trimmed.
TEST_F(KeysTest, SpacesAroundANameNeverRedirectADeletionToAnotherKey) {
  std::wstring name = L"VornKeysTest." + std::to_wstring(::GetCurrentProcessId());
  ScratchKey plain(name), spaced(L" " + name);
  plain.CreateKey(L"other");
  spaced.CreateKey(L"own");
  EXPECT_FALSE(Below(L"", &Keys::Delete, L" " + name));
  EXPECT_FALSE(Below(L"\\ " + name, &Keys::Delete, L"other"));
  EXPECT_TRUE(plain.KeyExists(L"other"));
  EXPECT_TRUE(spaced.KeyExists(L"own"));

  for (auto* path : {L"a\\x", L"a \\y", L"p\\b ", L"p\\c"}) scratch_.CreateKey(path);
  EXPECT_FALSE(Below(scratch_.Path(), &Keys::Delete, L"a "));
  EXPECT_EQ(Names({L"a", L"a ", L"p"}), scratch_.SubKeyNames(L""));
  EXPECT_EQ(Names{L"x"}, scratch_.SubKeyNames(L"a"));
  // Inside a tree: a child whose name ends in a space cannot be reached
  // through a key object, and keeps its parent.
  EXPECT_FALSE(Below(scratch_.Path(), &Keys::Delete, L"p"));
  EXPECT_EQ(Names{L"b "}, scratch_.SubKeyNames(L"p"));
}

TEST_F(KeysTest, TrailingSpacesAreTrimmedAndACollisionEndsTheRefresh) {
  scratch_.CreateKey(L"x  ");
  auto keys = Aimed<Keys>(scratch_.Path());
  auto item = Item(keys.get(), VStr(L"x"));
  EXPECT_EQ(scratch_.Below(L"x"), PathOf(item.get()));
  EXPECT_EQ(VARIANT_FALSE, Read(item.get(), &_clsKey::get_Exists));
  // A sibling with the trimmed name: the keyed collection refuses the second
  // and the refresh ends there, keeping the first and closing the parent.
  scratch_.CreateKey(L"x");
  EXPECT_EQ(errors::kDuplicateKey, keys->Refresh());
  EXPECT_EQ(1, Count(keys.get()));
}

TEST_F(KeysTest, AFailedIndexIsSkippedAndAGoneKeyEndsTheEnumeration) {
  for (auto* name : {L"a", L"b", L"c"}) scratch_.CreateKey(name);
  // Indices from..to answered with status (bounded, so that a loop that never ends on its own still ends at
  // the registry's 259), then the items out of three and the enumeration calls.
  const struct { LONG status; DWORD from, to; LONG count; size_t calls; } table[] = {
      {ERROR_KEY_DELETED, 1, 64, 1, 2}, {ERROR_INVALID_HANDLE, 0, 64, 0, 1}, {ERROR_MORE_DATA, 1, 1, 2, 4},
      {ERROR_ACCESS_DENIED, 0, 0, 2, 4}, {0, 1, 64, 1, 2}};  // the last: the parent deleted while it is read
  for (const auto& f : table) {
    SCOPED_TRACE(f.status);
    Rec().Reset();
    Rec().fault = [&](const Call& c) -> std::optional<LONG> {
      if (c.fn != Fn::EnumKeyEx || c.index < f.from || c.index > f.to) return std::nullopt;
      if (f.status) return f.status;
      if (c.index > 1) return ERROR_NO_MORE_ITEMS;  // ends a loop that went on
      ::RegDeleteTreeW(HKEY_CURRENT_USER, scratch_.Path().c_str());
      return std::nullopt;  // the registry's own answer for a deleted key
    };
    EXPECT_EQ(f.count, Count(Aimed<Keys>(scratch_.Path()).get()));
    EXPECT_EQ(f.calls, CallsOf(Fn::EnumKeyEx));
  }
}

// With View 0 the registry calls are those made before views existed. In a
// view the same calls carry its flag: every open in its access mask, creates
// and deletes through their Ex forms. A key object's view goes to the
// collections and the child keys it makes.
TEST_F(KeysTest, AViewFlagsEveryCallThatView0MakesAsBefore) {
  auto run = [&](LONG view) {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, scratch_.Path().c_str());
    scratch_.CreateKey(L"t\\a");
    scratch_.SetDword(L"", L"d", 1);
    auto key = Aimed<Key>(scratch_.Path());
    Rec().Reset();
    EXPECT_EQ(S_OK, Invoke(key->Published(), L"View", DISPATCH_PROPERTYPUT, {VI4(view).ref()}));  // refreshes
    auto sub_keys = ComPtr<_clsKeys>::adopt(Read(key.get(), &Key::get_SubKeys));
    auto values = ComPtr<_clsValues>::adopt(Read(key.get(), &Key::get_Values));
    EXPECT_TRUE(Ask(sub_keys.get(), &_clsKeys::Add, L"n\\m"));
    EXPECT_TRUE(Ask(sub_keys.get(), &_clsKeys::Delete, L"t"));
    unique_variant name = VStr(L"s"), text = VStr(L"x"), type = VI4(REG_SZ), data;
    EXPECT_EQ(S_OK, Invoke(values.get(), L"SetValue", DISPATCH_METHOD, {name.ref(), text.ref(), type.ref()}));
    EXPECT_EQ(S_OK, Invoke(values.get(), L"GetValue", DISPATCH_METHOD, {name.ref()}, &data.ref()));
    EXPECT_TRUE(Ask(values.get(), &_clsValues::Delete, L"d"));
    EXPECT_EQ(1, Count(values.get()));
    ComPtr<_clsKey> child = Item(sub_keys.get(), VI4(1));
    for (IUnknown* made : std::initializer_list<IUnknown*>{sub_keys.get(), values.get(), child.get()}) {
      unique_variant carried;
      EXPECT_EQ(S_OK, Invoke(made, L"View", DISPATCH_PROPERTYGET, {}, &carried.ref()));
      EXPECT_EQ(view, V_I4(&carried.ref()));
    }
    return Rec().calls;
  };
  const std::vector<Call> before = run(0), flagged = run(64);
  EXPECT_EQ(1u, CallsOf(Fn::CreateKeyEx));
  EXPECT_EQ(2u, CallsOf(Fn::DeleteOpenKey)) << "t\\a, then t, each by the handle it was opened as itself by";
  ASSERT_EQ(before.size(), flagged.size());
  for (size_t i = 0; i < before.size(); ++i) {
    const Call &a = before[i], &b = flagged[i];
    SCOPED_TRACE(testing::Message() << "call " << i << " " << Narrow(a.name));
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.status, b.status);
    switch (a.fn) {
      case Fn::OpenKeyEx:
        EXPECT_TRUE(a.access == registry::kRead || a.access == registry::kWrite ||
                    a.access == (registry::kRead | DELETE))
            << a.access;
        EXPECT_EQ(a.access | KEY_WOW64_64KEY, b.access);
        break;
      case Fn::CreateKey:
        EXPECT_EQ(std::pair(Fn::CreateKeyEx, REGSAM{MAXIMUM_ALLOWED | KEY_WOW64_64KEY}), std::pair(b.fn, b.access));
        break;
      default: EXPECT_EQ(a.fn, b.fn);
    }
    EXPECT_TRUE(a.fn != Fn::CreateKeyEx) << "View 0 never calls the Ex forms";
  }
}

}  // namespace
}  // namespace vorn
