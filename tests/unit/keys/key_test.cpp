// The key object: path normalisation and Name, the refresh of every
// assignment, the collections it hands out, and the caller's variables.
#include "keys/key.h"
#include "registry/service.h"
#include "harness/registry_test.h"

namespace vorn {
namespace {

using namespace test;

class KeyTest : public RegistryTest {
 protected:
  static bool ExistsOf(Key* key) { return Read(key, &Key::get_Exists) == VARIANT_TRUE; }
};

TEST_F(KeyTest, NormalisesThePathAndDerivesTheName) {
  // Spaces at both ends go, then one backslash at each end; nothing else.
  const wchar_t* table[][3] = {
      {L"  Software\\Vorn\\  ", L"Software\\Vorn", L"Vorn"}, {L"\\\\a\\b\\\\", L"\\a\\b\\", L""},
      {L"\\", L"", L""}, {L"\\\\", L"", L""}, {L"\\ x", L" x", L" x"}, {L"\tA\\b\t", L"\tA\\b\t", L"b\t"},
      {L"plain", L"plain", L"plain"}, {L" \\a\\ ", L"a", L"a"}, {L"a\\ \\", L"a\\ ", L" "}};
  auto key = Key::Create();
  for (const auto& row : table) {
    SetPath(key.get(), row[0]);
    EXPECT_EQ(row[1], PathOf(key.get())) << Narrow(row[0]);
    EXPECT_EQ(row[2], NameOf(key.get())) << Narrow(row[0]);
  }
}

TEST_F(KeyTest, EachAssignmentRefreshesOnceAndReplacesBothCollections) {
  auto key = Key::Create();
  ComPtr<_clsValues> values;
  ComPtr<_clsKeys> keys;
  auto replaced = [&] {  // both collections differ from the ones read before
    auto v = ComPtr<_clsValues>::adopt(Read(key.get(), &Key::get_Values));
    auto k = ComPtr<_clsKeys>::adopt(Read(key.get(), &Key::get_SubKeys));
    bool both = v.get() != values.get() && k.get() != keys.get();
    values.swap(v), keys.swap(k);
    return both;
  };
  replaced();
  SetRoot(key.get(), ScratchKey::kRoot);
  EXPECT_TRUE(replaced());
  EXPECT_TRUE(ExistsOf(key.get())) << "the empty path is the root key itself";
  for (int i = 0; i < 2; ++i) {  // the same value again refreshes again
    SetPath(key.get(), scratch_.Path());
    EXPECT_TRUE(replaced());
  }
  ASSERT_EQ(S_OK, key->Refresh());
  EXPECT_TRUE(replaced());
  ASSERT_EQ(8u, Rec().calls.size());
  for (size_t i = 0; i < Rec().calls.size(); i += 2) {
    EXPECT_EQ(Fn::OpenKeyEx, Rec().calls[i].fn);
    EXPECT_EQ(registry::kRead, Rec().calls[i].access);
    EXPECT_EQ(Fn::CloseKey, Rec().calls[i + 1].fn);
  }
  EXPECT_EQ(L"", Rec().calls[0].name) << "the root itself, before the path is set";

  // The collections get the root and the path; each trims its own copy of
  // the path, which the key object keeps with its leading space.
  SetPath(key.get(), L"\\ " + scratch_.Path());
  EXPECT_TRUE(replaced());
  EXPECT_EQ(scratch_.Path(), PathOf(values.get()));
  EXPECT_EQ(scratch_.Path(), PathOf(keys.get()));
  EXPECT_EQ(ScratchKey::kRoot, Read(keys.get(), &_clsKeys::get_HKEY));

  // Set to Nothing, a field is filled again with an unconfigured collection.
  ASSERT_EQ(S_OK, key->putref_Values(nullptr));
  ASSERT_EQ(S_OK, key->putref_SubKeys(nullptr));
  EXPECT_TRUE(replaced());
  EXPECT_EQ(L"", PathOf(values.get()));
  EXPECT_EQ(0, Read(keys.get(), &_clsKeys::get_HKEY));

  // Exists follows the last refresh only.
  SetPath(key.get(), scratch_.Below(L"later"));
  scratch_.CreateKey(L"later");
  EXPECT_FALSE(ExistsOf(key.get()));
  ASSERT_EQ(S_OK, key->Refresh());
  EXPECT_TRUE(ExistsOf(key.get()));
}

TEST_F(KeyTest, LateBoundAssignmentsLeaveTheCallersVariablesAlone) {
  // Script variables arrive by reference; one of another type than the
  // parameter's is converted for the call, and each is kept as it was.
  auto key = Key::Create();
  std::wstring given = L"  \\" + scratch_.Path() + L"\\ ";
  unique_variant root = VI4(ScratchKey::kRoot), path = VStr(given), number = VI4(42);
  for (auto* v : {&root, &path, &number})
    EXPECT_EQ(S_OK, Invoke(key->Published(), v == &root ? L"HKEY" : L"Path", DISPATCH_PROPERTYPUT, {Ref(v->ref())}));
  EXPECT_EQ(L"42", PathOf(key.get()));
  EXPECT_EQ(ScratchKey::kRoot, Read(key.get(), &Key::get_HKEY));
  EXPECT_EQ(given, W(V_BSTR(&path.ref())));
  EXPECT_EQ(VARCMP_EQ, ::VarCmp(&root.ref(), &VI4(ScratchKey::kRoot).ref(), 0, 0));
  EXPECT_EQ(VARCMP_EQ, ::VarCmp(&number.ref(), &VI4(42).ref(), 0, 0));

  // A method call of a property (JScript's call with the result dropped) reads it.
  unique_variant exists;
  EXPECT_EQ(S_OK, Invoke(key->Published(), L"Exists", DISPATCH_METHOD, {}, &exists.ref()));
  EXPECT_EQ(VT_BOOL, V_VT(&exists.ref()));
}

}  // namespace
}  // namespace vorn
