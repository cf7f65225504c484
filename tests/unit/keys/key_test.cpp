// The key object: normalisation, refreshes, Exists and Name, the
// auto-created collections, and how it treats the caller's variables.
#include <gtest/gtest.h>

#include "keys/key.h"
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

class KeyTest : public ::testing::Test {
 protected:
  void SetUp() override { Recorder::Get().Reset(); }
  void TearDown() override {
    Recorder::Get().Reset();
    EXPECT_EQ(0, Recorder::Get().OpenHandles()) << "a registry handle outlived a call";
  }

  static void SetRoot(_clsKey* key, LONG root) { ASSERT_EQ(S_OK, key->put_HKEY(&root)); }
  static void SetPath(_clsKey* key, const std::wstring& path) {
    unique_bstr p = B(path);
    ASSERT_EQ(S_OK, key->put_Path(&p.ref()));
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
  static bool ExistsOf(_clsKey* key) {
    VARIANT_BOOL b = 1;
    EXPECT_EQ(S_OK, key->get_Exists(&b));
    EXPECT_TRUE(b == VARIANT_TRUE || b == VARIANT_FALSE);
    return b == VARIANT_TRUE;
  }
};

TEST_F(KeyTest, NewObjectIsEmptyAndDoesNotExist) {
  auto key = Key::Create();
  LONG root = 1;
  EXPECT_EQ(S_OK, key->get_HKEY(&root));
  EXPECT_EQ(0, root);
  EXPECT_EQ(L"", PathOf(key.get()));
  EXPECT_EQ(L"", NameOf(key.get()));
  EXPECT_FALSE(ExistsOf(key.get()));
  EXPECT_EQ(0u, Recorder::Get().Calls().size());
}

struct PathCase {
  const wchar_t* given;
  const wchar_t* stored;
  const wchar_t* name;
};

class KeyPathTest : public KeyTest, public ::testing::WithParamInterface<PathCase> {};

TEST_P(KeyPathTest, NormalisesPathAndDerivesName) {
  auto key = Key::Create();
  SetPath(key.get(), GetParam().given);
  EXPECT_EQ(GetParam().stored, PathOf(key.get()));
  EXPECT_EQ(GetParam().name, NameOf(key.get()));
}

INSTANTIATE_TEST_SUITE_P(
    Table, KeyPathTest,
    ::testing::Values(PathCase{L"  Software\\Vorn\\  ", L"Software\\Vorn", L"Vorn"},
                      PathCase{L"\\\\a\\b\\\\", L"\\a\\b\\", L""},
                      PathCase{L"\\", L"", L""},
                      PathCase{L"\\\\", L"", L""},
                      PathCase{L"\\ x", L" x", L" x"},
                      PathCase{L"\tA\\b\t", L"\tA\\b\t", L"b\t"},
                      PathCase{L"plain", L"plain", L"plain"},
                      PathCase{L" \\a\\ ", L"a", L"a"},
                      PathCase{L"a\\ \\", L"a\\ ", L" "}));

TEST_F(KeyTest, EachAssignmentRefreshesOnceWithReadAccess) {
  ScratchKey scratch;
  auto key = Key::Create();
  SetRoot(key.get(), ScratchKey::kRoot);
  SetPath(key.get(), scratch.Path());
  SetPath(key.get(), scratch.Path());  // the same value again refreshes again
  ASSERT_EQ(S_OK, key->Refresh());

  auto calls = Recorder::Get().Calls();
  ASSERT_EQ(8u, calls.size());
  for (size_t i = 0; i < calls.size(); i += 2) {
    EXPECT_EQ(Fn::OpenKeyEx, calls[i].fn);
    EXPECT_EQ(registry::kRead, calls[i].access);
    EXPECT_EQ(Fn::CloseKey, calls[i + 1].fn);
  }
  EXPECT_EQ("", calls[0].name);  // the root itself, before the path is set
  EXPECT_TRUE(ExistsOf(key.get()));
}

TEST_F(KeyTest, ExistsFollowsTheLastRefreshOnly) {
  ScratchKey scratch;
  auto key = Key::Create();
  SetPath(key.get(), scratch.Path());
  EXPECT_FALSE(ExistsOf(key.get())) << "root 0 cannot be opened";
  SetRoot(key.get(), ScratchKey::kRoot);
  EXPECT_TRUE(ExistsOf(key.get()));

  SetPath(key.get(), scratch.Below(L"later"));
  EXPECT_FALSE(ExistsOf(key.get()));
  scratch.CreateKey(L"later");
  EXPECT_FALSE(ExistsOf(key.get())) << "no refresh yet";
  ASSERT_EQ(S_OK, key->Refresh());
  EXPECT_TRUE(ExistsOf(key.get()));
}

TEST_F(KeyTest, AnyRootValueIsStoredAndPassedUnchanged) {
  auto key = Key::Create();
  SetRoot(key.get(), static_cast<LONG>(0x80000004));
  SetRoot(key.get(), 12345);
  LONG root = 0;
  EXPECT_EQ(S_OK, key->get_HKEY(&root));
  EXPECT_EQ(12345, root);
  EXPECT_FALSE(ExistsOf(key.get()));

  SetRoot(key.get(), ScratchKey::kRoot);
  EXPECT_TRUE(ExistsOf(key.get())) << "the empty path is the root key itself";
}

TEST_F(KeyTest, CollectionsAreAutoCreatedAndReplacedByEveryRefresh) {
  ScratchKey scratch;
  auto key = Key::Create();
  ComPtr<_clsValues> values1, values2;
  ComPtr<_clsKeys> keys1, keys2;
  ASSERT_EQ(S_OK, key->get_Values(values1.put()));
  ASSERT_EQ(S_OK, key->get_Values(values2.put()));
  EXPECT_EQ(values1.get(), values2.get());
  ASSERT_EQ(S_OK, key->get_SubKeys(keys1.put()));
  ASSERT_EQ(S_OK, key->get_SubKeys(keys2.put()));
  EXPECT_EQ(keys1.get(), keys2.get());
  LONG root = 1;
  EXPECT_EQ(S_OK, values1->get_HKEY(&root));
  EXPECT_EQ(0, root);

  SetRoot(key.get(), ScratchKey::kRoot);
  SetPath(key.get(), L"\\ " + scratch.Path());
  ASSERT_EQ(S_OK, key->get_Values(values2.put()));
  ASSERT_EQ(S_OK, key->get_SubKeys(keys2.put()));
  EXPECT_NE(values1.get(), values2.get());
  EXPECT_NE(keys1.get(), keys2.get());

  // The new collections were given the root and the path; each trims its
  // own copy, so they lack the space that the key object keeps.
  EXPECT_EQ(S_OK, values2->get_HKEY(&root));
  EXPECT_EQ(ScratchKey::kRoot, root);
  unique_bstr path;
  EXPECT_EQ(S_OK, values2->get_Path(path.put()));
  EXPECT_EQ(scratch.Path(), W(path.get()));
  EXPECT_EQ(S_OK, keys2->get_Path(path.put()));
  EXPECT_EQ(scratch.Path(), W(path.get()));
  EXPECT_EQ(L" " + scratch.Path(), PathOf(key.get()));
  // The earlier collection never sees the refresh.
  EXPECT_EQ(S_OK, values1->get_HKEY(&root));
  EXPECT_EQ(0, root);
}

TEST_F(KeyTest, ClientSetCollectionsAreHeldUntilClearedOrRefreshed) {
  auto key = Key::Create();
  auto other = Key::Create();
  ComPtr<_clsValues> mine;
  ASSERT_EQ(S_OK, other->get_Values(mine.put()));
  ASSERT_EQ(S_OK, key->putref_Values(mine.get()));
  ComPtr<_clsValues> read;
  ASSERT_EQ(S_OK, key->get_Values(read.put()));
  EXPECT_EQ(mine.get(), read.get());

  ASSERT_EQ(S_OK, key->putref_Values(nullptr));
  ASSERT_EQ(S_OK, key->get_Values(read.put()));
  ASSERT_TRUE(read);
  EXPECT_NE(mine.get(), read.get());
}

TEST_F(KeyTest, AssignmentsLeaveTheCallersVariablesAlone) {
  ScratchKey scratch;
  auto key = Key::Create();
  // Late bound, with variables passed by reference as a script does.
  unique_variant root = test::VI4(ScratchKey::kRoot);
  VARIANT root_ref = test::Ref(root.ref());
  EXPECT_EQ(S_OK, test::Put(key->Published(), L"HKEY", root_ref).error());
  std::wstring given = L"  \\" + scratch.Path() + L"\\ ";
  unique_variant path = test::VStr(given);
  VARIANT path_ref = test::Ref(path.ref());
  EXPECT_EQ(S_OK, test::Put(key->Published(), L"Path", path_ref).error());

  EXPECT_EQ(VT_I4, V_VT(&root.ref()));
  EXPECT_EQ(ScratchKey::kRoot, V_I4(&root.ref()));
  ASSERT_EQ(VT_BSTR, V_VT(&path.ref()));
  EXPECT_EQ(given, W(V_BSTR(&path.ref())));
  EXPECT_EQ(scratch.Path(), PathOf(key.get()));
  EXPECT_TRUE(ExistsOf(key.get()));

  // A variable of another type is converted for the call, and kept as it was.
  unique_variant number = test::VI4(42);
  VARIANT number_ref = test::Ref(number.ref());
  EXPECT_EQ(S_OK, test::Put(key->Published(), L"Path", number_ref).error());
  EXPECT_EQ(L"42", PathOf(key.get()));
  EXPECT_EQ(VT_I4, V_VT(&number.ref()));
}

TEST_F(KeyTest, TextOutsideTheCodePageNeverReachesTheRegistry) {
  ScratchKey scratch;
  scratch.CreateKey(L"a");  // what U+0101 would best-fit to
  auto key = Key::Create();
  SetRoot(key.get(), ScratchKey::kRoot);
  Recorder::Get().Reset();
  std::wstring wide = scratch.Path() + L"\\\u0101";
  SetPath(key.get(), wide);
  EXPECT_FALSE(ExistsOf(key.get()));
  EXPECT_EQ(0u, Recorder::Get().CountOf(Fn::OpenKeyEx));
  EXPECT_EQ(wide, PathOf(key.get())) << "the path is kept as given";

  // A zero character would cut the path short at that point.
  SetPath(key.get(), scratch.Path() + std::wstring(L"\\a\0b", 4));
  EXPECT_FALSE(ExistsOf(key.get()));
  EXPECT_EQ(0u, Recorder::Get().CountOf(Fn::OpenKeyEx));
}

TEST_F(KeyTest, PublishedSurfaceThroughDispatch) {
  auto key = Key::Create();
  EXPECT_EQ(0x68030002, test::IdOf(key->Published(), L"HKEY"));
  EXPECT_EQ(0x68030000, test::IdOf(key->Published(), L"name"));
  EXPECT_EQ(DISPID_UNKNOWN, test::IdOf(key->Published(), L"DeleteTree"));

  unique_variant name = test::VStr(L"x");
  EXPECT_NE(S_OK, test::Put(key->Published(), L"Name", name.ref()).error()) << "Name is read-only";
  ComPtr<IDispatch> disp = ComPtr<_clsKey>(key.get()).query<IDispatch>(IID_IDispatch);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  unique_variant result;
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, disp->Invoke(DISPID_NEWENUM, IID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                                &none, &result.ref(), nullptr, nullptr));

  // A method call of a property (JScript's call with the result dropped)
  // reads it.
  EXPECT_EQ(S_OK, test::Invoke(key->Published(), L"Exists", DISPATCH_METHOD).hr);
  auto exists = test::Get(key->Published(), L"Exists");
  ASSERT_EQ(S_OK, exists.hr);
  EXPECT_EQ(VT_BOOL, V_VT(&exists.value.ref()));
  auto values = test::Get(key->Published(), L"Values");
  ASSERT_EQ(S_OK, values.hr);
  EXPECT_EQ(VT_DISPATCH, V_VT(&values.value.ref()));
}

}  // namespace
}  // namespace vorn
