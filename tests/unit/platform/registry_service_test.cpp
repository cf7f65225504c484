// The registry service's treatment of text: anything the code page would
// substitute, or a zero character that would cut a name or path short, is
// refused before the registry; string data keeps its zero characters.
#include "platform/registry.h"
#include "support/registry_test.h"

namespace vorn {
namespace {

using test::B;
using registry::kInvalidName;
using registry::kNoUnicodeTranslation;

class RegistryServiceTest : public test::RegistryTest {};

TEST_F(RegistryServiceTest, UnrepresentableOrCutNamesNeverReachTheRegistry) {
  scratch_.CreateKey(L"a");
  scratch_.SetString(L"", L"a", L"kept");
  unique_hkey key, created;
  ASSERT_EQ(registry::kSuccess, registry::OpenKey(test::ScratchKey::kRoot, B(scratch_.Path()).get(),
                                                  registry::kWrite, key));
  Rec().Reset();

  unique_bstr macron = B(L"\u0101"), cut = B(std::wstring(L"a\0x", 3)), name = B(L"n");
  for (BSTR bad : {macron.get(), cut.get()}) {
    LONG refusal = bad == macron.get() ? kNoUnicodeTranslation : kInvalidName;
    unique_bstr path = B(scratch_.Path() + L"\\" + test::W(bad));
    EXPECT_EQ(refusal, registry::OpenKey(test::ScratchKey::kRoot, path.get(), registry::kRead, created));
    EXPECT_EQ(refusal, registry::CreateKey(key.get(), bad, created));
    EXPECT_EQ(refusal, registry::DeleteValue(key.get(), bad));
    EXPECT_EQ(refusal, registry::SetDword(key.get(), bad, 1));
    EXPECT_EQ(refusal, registry::SetString(key.get(), bad, name.get()));
    EXPECT_EQ(refusal, registry::DeleteKey(test::ScratchKey::kRoot, path.get()));
  }
  EXPECT_EQ(kNoUnicodeTranslation, registry::SetString(key.get(), name.get(), macron.get())) << "data, too";
  EXPECT_TRUE(Rec().calls.empty());
  EXPECT_TRUE(scratch_.KeyExists(L"a"));
  EXPECT_TRUE(scratch_.ValueExists(L"", L"a"));

  // Zero characters inside string data are stored as they are.
  EXPECT_EQ(registry::kSuccess, registry::SetString(key.get(), name.get(), B(std::wstring(L"x\0y", 3)).get()));
  ASSERT_EQ(1u, Rec().calls.size());
  EXPECT_EQ(std::string("x\0y\0", 4), Rec().calls[0].data);
}

}  // namespace
}  // namespace vorn
