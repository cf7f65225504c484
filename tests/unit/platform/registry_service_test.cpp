// The registry service's treatment of text: exact 8-bit text passes and
// comes back unchanged; anything the code page would substitute, or a zero
// character that would cut a name short, is refused before the registry.
#include <gtest/gtest.h>

#include "platform/ansi_text.h"
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

class RegistryServiceTest : public ::testing::Test {
 protected:
  void SetUp() override { Recorder::Get().Reset(); }
  void TearDown() override {
    Recorder::Get().Reset();
    EXPECT_EQ(0, Recorder::Get().OpenHandles());
  }
};

TEST_F(RegistryServiceTest, TextRoundTripIsExactOrRefused) {
  std::string out;
  EXPECT_TRUE(ansi::FromWide(L"caf\u00e9 \u20ac", 6, out)) << "representable in the prefix's code page";
  EXPECT_EQ(6u, out.size());
  unique_bstr back = ansi::ToBstr(out.data(), out.size());
  EXPECT_EQ(L"caf\u00e9 \u20ac", test::W(back.get()));

  EXPECT_FALSE(ansi::FromWide(L"\u0101", 1, out)) << "best fit would turn it into a";
  EXPECT_FALSE(ansi::FromWide(L"\u6f22", 1, out)) << "would become ?";

  std::string with_zero("a\0b", 3);
  EXPECT_EQ(3u, ::SysStringLen(ansi::ToBstr(with_zero.data(), 3).get()));
}

TEST_F(RegistryServiceTest, UnrepresentableNamesNeverReachTheRegistry) {
  ScratchKey scratch;
  scratch.CreateKey(L"a");
  scratch.SetString(L"", L"a", L"kept");
  unique_hkey key;
  unique_bstr path = B(scratch.Path());
  ASSERT_EQ(registry::kSuccess, registry::OpenKey(ScratchKey::kRoot, path.get(), registry::kWrite, key));
  Recorder::Get().Reset();

  unique_bstr macron = B(L"\u0101");
  unique_hkey created;
  EXPECT_EQ(registry::kNoUnicodeTranslation, registry::CreateKey(key.get(), macron.get(), created));
  EXPECT_EQ(registry::kNoUnicodeTranslation, registry::DeleteValue(key.get(), macron.get()));
  EXPECT_EQ(registry::kNoUnicodeTranslation, registry::SetDword(key.get(), macron.get(), 1));
  unique_bstr name = B(L"n");
  EXPECT_EQ(registry::kNoUnicodeTranslation, registry::SetString(key.get(), name.get(), macron.get()))
      << "string data is refused too";
  unique_bstr sub_path = B(scratch.Path() + L"\\\u0101");
  EXPECT_EQ(registry::kNoUnicodeTranslation, registry::DeleteKey(ScratchKey::kRoot, sub_path.get()));
  unique_bstr cut = B(std::wstring(L"a\0x", 3));
  EXPECT_EQ(registry::kInvalidName, registry::DeleteValue(key.get(), cut.get()));
  EXPECT_EQ(registry::kInvalidName, registry::CreateKey(key.get(), cut.get(), created));

  EXPECT_TRUE(Recorder::Get().Calls().empty());
  EXPECT_TRUE(scratch.KeyExists(L"a"));
  EXPECT_TRUE(scratch.ValueExists(L"", L"a"));

  // Zero characters inside string data are stored as they are.
  unique_bstr data = B(std::wstring(L"x\0y", 3));
  EXPECT_EQ(registry::kSuccess, registry::SetString(key.get(), name.get(), data.get()));
  ASSERT_EQ(1u, Recorder::Get().Calls().size());
  EXPECT_EQ(std::string("x\0y\0", 4), Recorder::Get().Calls()[0].data);
}

TEST_F(RegistryServiceTest, RootValuesAreSignExtendedHandles) {
  EXPECT_EQ(HKEY_CURRENT_USER, registry::RootHandle(static_cast<LONG>(0x80000001)));
  EXPECT_EQ(HKEY_CLASSES_ROOT, registry::RootHandle(static_cast<LONG>(0x80000000)));
}

}  // namespace
}  // namespace vorn
