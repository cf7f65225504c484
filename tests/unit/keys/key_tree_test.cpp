// Whole trees: read and written with exact types and bytes, deleted depth
// first, renamed; a key that cannot be read is an error naming it.
#include "keys/key_tree.h"

#include <algorithm>

#include "platform/errors.h"
#include "support/registry_test.h"

namespace vorn {
namespace {

using registry::RawValue;

class KeyTreeTest : public test::RegistryTest {
 protected:
  unique_hkey Open(const std::wstring& sub, REGSAM access = registry::kRead | registry::kWrite) {
    unique_hkey key;
    EXPECT_EQ(registry::kSuccess, registry::OpenSubKey(HKEY_CURRENT_USER, scratch_.Below(sub).c_str(), access, key));
    return key;
  }
  // The value as RegQueryValueExW gives it, outside the library.
  static std::vector<BYTE> Raw(HKEY key, const std::wstring& name, DWORD& type) {
    DWORD size = 0;
    ::RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size);
    std::vector<BYTE> data(size);
    ::RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &size);
    return data;
  }
};

RawValue V(const std::wstring& name, DWORD type, std::vector<BYTE> data) { return {name, type, std::move(data)}; }

// Every kind of data the registry can hold, including string data that a
// careless write would change: no terminator, an odd byte count, one byte.
std::vector<RawValue> AwkwardValues() {
  std::vector<BYTE> long_binary(20000);
  for (size_t i = 0; i < long_binary.size(); ++i) long_binary[i] = static_cast<BYTE>(i * 7 + 1);
  return {V(L"", REG_SZ, {'d', 0, 0, 0}),
          V(L"unterminated", REG_SZ, {'a', 0, 'b', 0}),
          V(L"odd", REG_SZ, {'a', 0, 'b', 0, 'c'}),
          V(L"one byte", REG_EXPAND_SZ, {'x'}),
          V(L"empty", REG_SZ, {}),
          V(L"inner zero", REG_SZ, {'a', 0, 0, 0, 'b', 0, 0, 0}),
          V(L"multi", REG_MULTI_SZ, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}),
          V(L"short dword", REG_DWORD, {1, 2, 3}),
          V(L"qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}),
          V(L"big endian", REG_DWORD_BIG_ENDIAN, {0, 0, 1, 2}),
          V(L"none", REG_NONE, {}),
          V(L"own type", 0x12345, {9, 8}),
          V(L"binary", REG_BINARY, long_binary)};
}

TEST_F(KeyTreeTest, TreesReadAndWriteEveryTypeWithExactBytes) {
  KeyTree source{L"src", AwkwardValues(), {{L"Child", AwkwardValues(), {{L"grand \"child\"", {}, {}}}}}};
  // Zero bytes just past the data, where the registry looks for a
  // terminator that the data lacks.
  for (RawValue& v : source.children[0].values) {
    if (v.name != L"unterminated" && v.name != L"odd") continue;
    size_t size = v.data.size();
    v.data.insert(v.data.end(), {0, 0, 0});
    v.data.resize(size);
  }
  scratch_.CreateKey(L"src");
  WriteTree(Open(L"src").get(), source, L"src", 0);

  unique_hkey child = Open(L"src\\Child");
  for (const RawValue& v : source.values) {
    DWORD type = 0;
    EXPECT_EQ(v.data, Raw(child.get(), v.name, type)) << test::Narrow(v.name);
    EXPECT_EQ(v.type, type);
  }
  KeyTree read = ReadTree(Open(L"src", registry::kRead).get(), L"HKCU\\x\\src", 0);
  EXPECT_EQ(L"src", read.name);
  ASSERT_EQ(1u, read.children.size());
  ASSERT_EQ(1u, read.children[0].children.size());
  EXPECT_EQ(L"grand \"child\"", read.children[0].children[0].name);
  EXPECT_EQ(source.values.size(), read.children[0].values.size());
  for (const RawValue& v : read.children[0].values) {
    auto same = std::find_if(source.values.begin(), source.values.end(), [&](const RawValue& s) {
      return s.name == v.name && s.type == v.type && s.data == v.data;
    });
    EXPECT_NE(same, source.values.end()) << test::Narrow(v.name);
  }
}

TEST_F(KeyTreeTest, AKeyThatCannotBeOpenedOrReadIsAnErrorNamingIt) {
  scratch_.CreateKey(L"t\\a\\deep");
  scratch_.CreateKey(L"t\\b");
  unique_hkey top = Open(L"t", registry::kRead);
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

TEST_F(KeyTreeTest, SubTreesAreDeletedDepthFirstAndRenamedWhole) {
  scratch_.SetDword(L"t\\a\\b", L"v", 1);
  scratch_.CreateKey(L"t\\c");
  unique_hkey base = Open(L"");
  EXPECT_EQ(registry::kInvalidName, registry::DeleteSubTree(base.get(), L""));
  EXPECT_EQ(registry::kSuccess, registry::RenameKey(base.get(), L"t", L"u"));
  EXPECT_FALSE(scratch_.KeyExists(L"t"));
  EXPECT_TRUE(scratch_.ValueExists(L"u\\a\\b", L"v"));

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

}  // namespace
}  // namespace vorn
