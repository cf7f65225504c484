// Whole trees in the registry service and the key tree: a key that cannot
// be opened or read is an error naming it, never skipped; trees are deleted
// depth first, in the view given. (Exact bytes: tree_copy_test.cpp.)
#include "trees/key_tree.h"

#include <algorithm>

#include "automation/errors.h"
#include "harness/registry_test.h"
#include "keys/key.h"

namespace vorn {
namespace {

class KeyTreeTest : public test::RegistryTest {
 protected:
  unique_hkey Open(const std::wstring& sub) {
    unique_hkey key;
    EXPECT_EQ(registry::kSuccess, registry::OpenSubKey(HKEY_CURRENT_USER, scratch_.Below(sub).c_str(),
                                                       registry::kRead | registry::kWrite, key));
    return key;
  }
};

TEST_F(KeyTreeTest, AKeyThatCannotBeOpenedOrReadIsAnErrorNamingIt) {
  scratch_.CreateKey(L"t\\a\\deep");
  scratch_.SetDword(L"t\\b", L"v", 1);  // a value to read: counted, an empty key has no list to read
  unique_hkey top = Open(L"t");
  Rec().Fail(test::Fn::OpenKeyEx, ERROR_ACCESS_DENIED, [](const test::Call& c) { return c.name == L"deep"; });
  try {
    ReadTree(top.get(), L"T", 0);
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), e.hr());
    EXPECT_NE(std::wstring::npos, e.description().find(L"\"T\\a\\deep\"")) << test::Narrow(e.description());
  }
  Rec().Fail(test::Fn::EnumValue, ERROR_ACCESS_DENIED);
  EXPECT_THROW(ReadTree(top.get(), L"T", 0), Error);
}

TEST_F(KeyTreeTest, SubTreesAreDeletedDepthFirstInTheirView) {
  scratch_.SetDword(L"u\\a\\b", L"v", 1);
  scratch_.CreateKey(L"u\\c");
  unique_hkey base = Open(L"");
  EXPECT_EQ(registry::kInvalidName, registry::DeleteSubTree(base.get(), L""));  // would be base itself
  Rec().Reset();
  EXPECT_EQ(registry::kSuccess, registry::DeleteSubTree(base.get(), L"u", KEY_WOW64_64KEY));
  EXPECT_FALSE(scratch_.KeyExists(L"u"));
  // Each key deleted by the handle that opened it as itself, in the view.
  EXPECT_EQ(4u, CallsOf(test::Fn::DeleteOpenKey));
  for (const test::Call& c : Rec().calls)
    if (c.fn == test::Fn::OpenKeyEx) {
      EXPECT_EQ(static_cast<REGSAM>(KEY_WOW64_64KEY), c.access & KEY_WOW64_64KEY);
    }
  std::vector<std::wstring> deleted;
  for (const test::Call& c : Rec().calls)
    if (c.fn == test::Fn::DeleteOpenKey) deleted.push_back(c.name);
  EXPECT_EQ(L"b", deleted.front());  // the deepest first
  EXPECT_EQ(L"u", deleted.back());
}

// Makes sub a registry link to target, both below the scratch key.
void MakeLink(const test::ScratchKey& scratch, const std::wstring& sub, const std::wstring& target) {
  HKEY to = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_CURRENT_USER, scratch.Below(target).c_str(), 0, KEY_READ, &to));
  using QueryKey = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  const auto query = reinterpret_cast<QueryKey>(
      reinterpret_cast<void (*)()>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryKey")));
  std::vector<BYTE> name(4096);  // KEY_NAME_INFORMATION: the length in bytes, then the full name
  ULONG size = 0;
  ASSERT_EQ(0, query(to, 3, name.data(), static_cast<ULONG>(name.size()), &size));
  ::RegCloseKey(to);
  HKEY link = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, scratch.Below(sub).c_str(), 0, nullptr,
                                             REG_OPTION_CREATE_LINK, KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr,
                                             &link, nullptr));
  EXPECT_EQ(ERROR_SUCCESS, ::RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK, name.data() + sizeof(ULONG),
                                            *reinterpret_cast<ULONG*>(name.data())));
  ::RegCloseKey(link);
}

// By its name, every call reaches a link's target, outside the tree: the
// delete emptied and removed it, and then failed on the link.
TEST_F(KeyTreeTest, ALinkInATreeIsDeletedItselfNeverItsTarget) {
  scratch_.SetDword(L"target\\sub", L"v", 1);
  unique_hkey base = Open(L"");
  auto key = test::Aimed<Key>(scratch_.Path());
  for (const bool through_the_key_object : {false, true}) {
    scratch_.CreateKey(L"src\\plain");
    MakeLink(scratch_, L"src\\link", L"target");
    if (through_the_key_object) {
      unique_variant sub_keys, deleted;
      ASSERT_EQ(S_OK, test::Invoke(key->Published(), L"SubKeys", DISPATCH_PROPERTYGET, {}, &sub_keys.ref()));
      ASSERT_EQ(S_OK, test::Invoke(V_DISPATCH(&sub_keys.ref()), L"Delete", DISPATCH_METHOD,
                                   {test::VStr(L"src").ref()}, &deleted.ref()));
      EXPECT_EQ(VARIANT_TRUE, V_BOOL(&deleted.ref()));
    } else {
      EXPECT_EQ(registry::kSuccess, registry::DeleteSubTree(base.get(), L"src"));
    }
    EXPECT_FALSE(scratch_.KeyExists(L"src")) << through_the_key_object;
    EXPECT_TRUE(scratch_.ValueExists(L"target\\sub", L"v")) << through_the_key_object;
  }
}

TEST_F(KeyTreeTest, ATreeThousandsOfKeysDeepIsReadFreedAndDeletedWithoutAStackOfItsDepth) {
  scratch_.CreateKey(L"deep" + test::Deep(15000));
  size_t depth = 0;
  LONG deleted = -1;
  test::OnASmallStack([&] {
    unique_hkey base = Open(L"");
    {
      unique_hkey top = Open(L"deep");
      KeyTree tree = ReadTree(top.get(), L"deep", 0);
      for (const KeyTree* t = &tree; !t->children.empty(); t = &t->children[0]) ++depth;
    }  // freed here
    deleted = registry::DeleteSubTree(base.get(), L"deep");
  });
  EXPECT_EQ(15000u, depth);
  EXPECT_EQ(registry::kSuccess, deleted);
  EXPECT_FALSE(scratch_.KeyExists(L"deep"));
}

}  // namespace
}  // namespace vorn
