// The registry service's treatment of text: a zero character that would cut
// a name or path short is refused before the registry; string data is stored
// in whole UTF-16 units, its zeros kept, with one terminating zero unit.
#include "platform/registry.h"
#include "support/registry_test.h"

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
  EXPECT_EQ(kInvalidName, registry::DeleteKey(test::ScratchKey::kRoot, path.get()));
  EXPECT_TRUE(Rec().calls.empty());
  EXPECT_TRUE(scratch_.KeyExists(L"a"));
  EXPECT_TRUE(scratch_.ValueExists(L"", L"a"));

  // A string whose byte length is odd: only its whole units are stored, so
  // the terminator that follows is really a zero unit.
  unique_bstr odd(::SysAllocStringByteLen("xyz", 3));
  for (BSTR text : {B(std::wstring(L"x\0y", 3)).release(), odd.release()}) {
    unique_bstr owned(text);
    Rec().Reset();
    EXPECT_EQ(registry::kSuccess, registry::SetString(key.get(), name.get(), text));
    ASSERT_EQ(1u, Rec().calls.size());
    std::wstring units(text, ::SysStringLen(text));
    units.push_back(L'\0');
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(units.data()), units.size() * sizeof(wchar_t)),
              Rec().calls[0].data);
  }
}

}  // namespace
}  // namespace vorn
