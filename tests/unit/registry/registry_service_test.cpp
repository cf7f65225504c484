// The registry service's treatment of text: a zero character that would cut
// a name or path short is refused before the registry; string data is stored
// in whole UTF-16 units, its zeros kept, with one terminating zero unit.
#include "registry/service.h"
#include "harness/registry_test.h"

namespace vorn {
namespace {

using test::B;
using registry::kInvalidName;

class RegistryServiceTest : public test::RegistryTest {};

TEST_F(RegistryServiceTest, CutNamesNeverReachTheRegistryAndStringDataIsStoredWhole) {
  scratch_.CreateKey(L"a");
  scratch_.SetString(L"", L"a", L"kept");
  unique_hkey key, created;
  ASSERT_EQ(registry::kSuccess, registry::OpenKey(test::ScratchKey::kRoot, B(scratch_.Path()).get(),
                                                  registry::kWrite, key));
  Rec().Reset();

  unique_bstr cut = B(std::wstring(L"a\0x", 3)), name = B(L"n");
  unique_bstr path = B(scratch_.Path() + L"\\" + test::W(cut.get()));
  EXPECT_EQ(kInvalidName, registry::OpenKey(test::ScratchKey::kRoot, path.get(), registry::kRead, created));
  EXPECT_EQ(kInvalidName, registry::CreateKey(key.get(), cut.get(), created));
  EXPECT_EQ(kInvalidName, registry::DeleteValue(key.get(), cut.get()));
  EXPECT_EQ(kInvalidName, registry::SetDword(key.get(), cut.get(), 1));
  EXPECT_EQ(kInvalidName, registry::SetString(key.get(), cut.get(), name.get()));
  registry::KeyToDelete doomed;
  EXPECT_EQ(kInvalidName, registry::OpenToDelete(test::ScratchKey::kRoot, path.get(), 0, doomed));
  EXPECT_TRUE(Rec().calls.empty());
  EXPECT_TRUE(scratch_.KeyExists(L"a"));
  EXPECT_TRUE(scratch_.ValueExists(L"", L"a"));

  // String data: its units, zeros inside kept, and one zero unit of our
  // own. A string of odd byte length ("xyz") gives only its whole unit, so
  // that the terminator after it really is a zero unit.
  unique_bstr inner = B(std::wstring(L"x\0y", 3)), odd(::SysAllocStringByteLen("xyz", 3));
  for (auto [text, units] : {std::pair{inner.get(), std::wstring(L"x\0y\0", 4)},
                             std::pair{odd.get(), std::wstring(L"\u7978\0", 2)}}) {
    Rec().Reset();
    EXPECT_EQ(registry::kSuccess, registry::SetString(key.get(), name.get(), text));
    ASSERT_EQ(1u, Rec().calls.size());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(units.data()), units.size() * sizeof(wchar_t)),
              Rec().calls[0].data);
  }
}

}  // namespace
}  // namespace vorn
