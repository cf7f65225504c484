// Whole trees in the registry service and the key tree: a key that cannot
// be opened or read is an error naming it, never skipped; trees are deleted
// depth first, in the view given. (Exact bytes: tree_copy_test.cpp.)
#include "trees/key_tree.h"

#include <algorithm>

#include "automation/errors.h"
#include "harness/registry_test.h"

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
  EXPECT_EQ(4u, CallsOf(test::Fn::DeleteKeyEx));
  EXPECT_EQ(0u, CallsOf(test::Fn::DeleteKey));
  auto first = std::find_if(Rec().calls.begin(), Rec().calls.end(),
                            [](const test::Call& c) { return c.fn == test::Fn::DeleteKeyEx; });
  EXPECT_EQ(L"b", first->name);  // the deepest first
  EXPECT_EQ(L"u", Rec().calls.back().name);
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
