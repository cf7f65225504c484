// The .reg parser without the registry: every syntax form reg import reads,
// and refusals naming the line. (The writer is checked byte for byte against
// reg export itself, in tests/unit/trees/reg_files_test.cpp.)
#include <gtest/gtest.h>

#include "automation/errors.h"
#include "regfile/parser.h"

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

// The forms of data are compared with reg import itself in
// tests/unit/trees/reg_files_test.cpp; here, what it cannot show: the root
// names that a scratch key below HKCU cannot use, the line numbers and a lone
// CR as a line end.
TEST(RegText, RootNamesAndLineNumbers) {
  auto ops = Parse(File(L"; a comment\r\n"
                        L"\r\n"
                        L"  [hkey_current_user\\A\\b] ; trailing comment\r\n"
                        L"\"bin\"=hex:0A,ff,\\\r\n"
                        L"   ; a comment inside the continuation\r\n"
                        L"  1,2 ; end\r"
                        L"\"e\"=hex(7):\r\n"
                        L"[HKLM\\x]\r\n[HKEY_CLASSES_ROOT\\y]\r\n[HKU\\z]\r\n[HKCC\\w]\r\n[-HKEY_USERS\\v]\r\n"),
                   L"f");
  ASSERT_EQ(8u, ops.size());
  EXPECT_EQ(L"hkey_current_user", ops[0].root);
  EXPECT_EQ(L"A\\b", ops[0].path);
  EXPECT_EQ(4, ops[0].line);
  EXPECT_EQ(Bytes({0x0a, 0xff, 1, 2}), ops[1].data);
  EXPECT_EQ(5, ops[1].line);
  EXPECT_EQ(8, ops[2].line);  // a lone CR ends a line too
  const wchar_t* roots[] = {L"HKLM", L"HKEY_CLASSES_ROOT", L"HKU", L"HKCC", L"HKEY_USERS"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(roots[i], ops[3 + i].root);
  EXPECT_EQ(Operation::kDeleteKey, ops[7].kind);
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
      // Cut off after a continuation mark, at the end or before blank lines.
      {L"[HKCU\\k]\r\n\"bin\"=hex:01,02,\\\r\n", 3, L"cut off"},
      {L"[HKCU\\k]\r\n\"bin\"=hex:01,\\\r\n  02,\\\r\n\r\n; c\r\n", 4, L"cut off"},
      // # begins a comment only as a line's first character.
      {L"[HKCU\\k]\r\n\"a\"=dword:1 # c\r\n", 3, L"hexadecimal digits only"},
      {L"[HKCU\\k]\r\n\"a\"=hex:01,\\\r\n  #02\r\n", 4, L"continued line"},
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
