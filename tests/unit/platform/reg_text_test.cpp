// The .reg parser without the registry: every syntax form reg import reads,
// and refusals naming the line. (The writer is checked byte for byte against
// reg export itself, in tests/unit/keys/reg_files_test.cpp.)
#include <gtest/gtest.h>

#include "platform/errors.h"
#include "platform/reg_parser.h"

namespace vorn::regfile {
namespace {

std::vector<BYTE> Bytes(std::initializer_list<int> list) { return std::vector<BYTE>(list.begin(), list.end()); }
std::vector<BYTE> Units(const std::wstring& s) {
  auto p = reinterpret_cast<const BYTE*>(s.data());
  return std::vector<BYTE>(p, p + s.size() * 2);
}
// A file of the given lines (UTF-16 with the byte order mark, CR LF).
std::vector<BYTE> File(const std::wstring& lines) {
  std::vector<BYTE> bytes{0xFF, 0xFE};
  auto u = Units(L"Windows Registry Editor Version 5.00\r\n" + lines);
  bytes.insert(bytes.end(), u.begin(), u.end());
  return bytes;
}

TEST(RegText, EverySyntaxFormIsRead) {
  auto ops = Parse(File(L"; a comment\r\n"
                        L"\r\n"
                        L"  [hkey_current_user\\A\\b] ; trailing comment\r\n"
                        L"@ = \"d\"\r\n"
                        L"\"s\"=\"x\\\"y\\\\z\\n\"   \r\n"
                        L"\t\"dw\" =dword:DeadBeef\n"
                        L"\"bin\"=hex:0A,ff,\\\r\n"
                        L"\r\n"
                        L"   ; a comment inside the continuation\r\n"
                        L"  1,2 ; end\r"
                        L"\"e\"=hex(7):\r\n"
                        L"\"gone\"=-\r\n"
                        L"[-HKCU\\A\\c]\r\n"
                        L"[HKLM\\x]\r\n"
                        L"[HKEY_CLASSES_ROOT\\y]\r\n[HKU\\z]\r\n[HKCC\\w]\r\n[HKEY_USERS]\r\n"),
                   L"f");
  ASSERT_EQ(13u, ops.size());
  EXPECT_EQ(Operation::kKey, ops[0].kind);
  EXPECT_EQ(static_cast<LONG>(0x80000001), ops[0].root);
  EXPECT_EQ(L"A\\b", ops[0].path);
  EXPECT_EQ(4, ops[0].line);
  EXPECT_EQ(L"", ops[1].name);
  EXPECT_EQ(Units(std::wstring(L"d", 2)), ops[1].data);
  EXPECT_EQ(Units(std::wstring(L"x\"y\\z\n", 7)), ops[2].data);
  EXPECT_EQ(Bytes({0xef, 0xbe, 0xad, 0xde}), ops[3].data);
  EXPECT_EQ(REG_BINARY, ops[4].type);
  EXPECT_EQ(Bytes({0x0a, 0xff, 1, 2}), ops[4].data);
  EXPECT_EQ(8, ops[4].line);
  EXPECT_EQ(REG_MULTI_SZ, ops[5].type);
  EXPECT_TRUE(ops[5].data.empty());
  EXPECT_EQ(12, ops[5].line);  // a lone CR ends a line too
  EXPECT_EQ(Operation::kDeleteValue, ops[6].kind);
  EXPECT_EQ(Operation::kDeleteKey, ops[7].kind);
  EXPECT_EQ(L"A\\c", ops[7].path);
  EXPECT_EQ(static_cast<LONG>(0x80000002), ops[8].root);
  EXPECT_EQ(static_cast<LONG>(0x80000000), ops[9].root);
  EXPECT_EQ(static_cast<LONG>(0x80000003), ops[10].root);
  EXPECT_EQ(static_cast<LONG>(0x80000005), ops[11].root);
  EXPECT_EQ(L"", ops[12].path);

  // REGEDIT4 in the code page: text types are terminated and converted.
  std::string ansi = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\k]\r\n\"a\"=\"\xe9\"\r\n\"e\"=hex(2):41,42\r\n";
  ops = Parse(std::vector<BYTE>(ansi.begin(), ansi.end()), L"f");
  ASSERT_EQ(3u, ops.size());
  EXPECT_EQ(Units(std::wstring(L"\u00e9", 2)), ops[1].data);
  EXPECT_EQ(Units(std::wstring(L"AB", 3)), ops[2].data);
}

TEST(RegText, AMalformedLineAnywhereRefusesTheFileNamingTheLine) {
  struct Case {
    const wchar_t* lines;
    int line;
    const wchar_t* what;
  } cases[] = {
      {L"[HKCU\\k]\r\n\"a\"=\"x\"\r\nrubbish\r\n\"b\"=dword:1\r\n", 4, L"neither"},
      {L"[HKCU\\k]\r\n\"a\"=\"x\"\r\n\"b\"=dword:123456789", 4, L"at most 8"},  // the last line, unended
      {L"[HKCU\\k]\r\n\"a\"=\"unclosed\r\n", 3, L"no closing quotation mark"},
      {L"[HKCU\\k]\r\n\"a\"=hex:1,2,x\r\n", 3, L"hex data"},
      {L"[HKCU\\k]\r\n\"a\"=hex:1,100\r\n", 3, L"larger than ff"},
      {L"[HKCU\\k]\r\n\"a\"=hex:1,\\\r\n  zz\r\n", 4, L"continued line"},
      {L"[HKCU\\k]\r\n\"a\"=hex(0x2):00\r\n", 3, L"hex("},
      {L"[HKCU\\k]\r\n\"a\"=str:\"x\"\r\n", 3, L"the data must be"},
      {L"[HKCU\\k]\r\n\"a\"=\"x\" y\r\n", 3, L"text after the closing quotation mark"},
      {L"[HKCU\\k]\r\n\"a\" \"x\"\r\n", 3, L"not followed by ="},
      {L"[HKCU\\k]\r\n\"a\\0\"=\"x\"\r\n", 3, L"\\0"},
      {L"\"a\"=\"x\"\r\n", 2, L"must follow a [key]"},
      {L"[-HKCU\\k]\r\n\"a\"=\"x\"\r\n", 3, L"must follow a [key]"},
      {L"[HKCU\\k\r\n", 2, L"no closing ]"},
      {L"[HKXX\\k]\r\n", 2, L"not a root key"},
      {L"[HKCU\\k\\\\l]\r\n", 2, L"empty component"},
      {L"[HKCU\\k] x\r\n", 2, L"text after the closing ]"},
      {L"[-HKCU]\r\n", 2, L"root key cannot be deleted"},
  };
  for (const Case& c : cases) {
    try {
      Parse(File(c.lines), L"C:\\f.reg");
      ADD_FAILURE() << "accepted: " << testing::PrintToString(std::wstring(c.lines));
    } catch (const Error& e) {
      EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INVALID_DATA), e.hr());
      std::wstring prefix = L"C:\\f.reg, line " + std::to_wstring(c.line) + L": ";
      EXPECT_EQ(prefix, e.description().substr(0, prefix.size())) << testing::PrintToString(e.description());
      EXPECT_NE(std::wstring::npos, e.description().find(c.what)) << testing::PrintToString(e.description());
    }
  }
  for (const char* header : {"REGEDIT4 \r\n", "REGEDIT\r\n", "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n", ""}) {
    std::string text = header;
    EXPECT_THROW(Parse(std::vector<BYTE>(text.begin(), text.end()), L"f"), Error) << header;
  }
}

}  // namespace
}  // namespace vorn::regfile
