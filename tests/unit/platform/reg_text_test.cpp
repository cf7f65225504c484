// The .reg text format without the registry: the writer's lines against
// lines reg export wrote, the values its text forms cannot hold, and the
// parser's syntax forms and refusals.
#include <gtest/gtest.h>

#include "platform/errors.h"
#include "platform/reg_parser.h"
#include "platform/reg_writer.h"

namespace vorn::regfile {
namespace {

std::vector<BYTE> Bytes(std::initializer_list<int> list) { return std::vector<BYTE>(list.begin(), list.end()); }
std::vector<BYTE> Units(const std::wstring& s) {
  auto p = reinterpret_cast<const BYTE*>(s.data());
  return std::vector<BYTE>(p, p + s.size() * 2);
}
std::vector<BYTE> Range(int n) {
  std::vector<BYTE> v;
  for (int i = 0; i < n; ++i) v.push_back(static_cast<BYTE>(i));
  return v;
}
// The value's lines as the writer writes them, without the file around them.
std::wstring Line(const std::wstring& name, DWORD type, const std::vector<BYTE>& data) {
  Writer w;
  size_t header = w.Finish().size() - 2;
  Writer writer;
  writer.Value({name, type, data});
  std::wstring text = writer.Finish();
  return text.substr(header, text.size() - header - 4);  // without the last line end and the blank line
}
// A file of the given lines (UTF-16 with the byte order mark, CR LF).
std::vector<BYTE> File(const std::wstring& lines) {
  std::vector<BYTE> bytes{0xFF, 0xFE};
  auto u = Units(L"Windows Registry Editor Version 5.00\r\n" + lines);
  bytes.insert(bytes.end(), u.begin(), u.end());
  return bytes;
}

TEST(RegText, ValueLinesAreThoseRegExportWrites) {
  // Lines copied from Wine 8's reg export of the same values.
  EXPECT_EQ(L"@=\"default\"", Line(L"", REG_SZ, Units(std::wstring(L"default", 8))));
  EXPECT_EQ(L"\"q\\\"uote\"=\"a\\\"b\\\\c\"", Line(L"q\"uote", REG_SZ, Units(std::wstring(L"a\"b\\c", 6))));
  EXPECT_EQ(L"\"crlf\"=\"a\\r\\nb\"", Line(L"crlf", REG_SZ, Units(std::wstring(L"a\r\nb", 5))));
  EXPECT_EQ(L"\"x\"=dword:0000ffff", Line(L"x", REG_DWORD, Bytes({0xff, 0xff, 0, 0})));
  EXPECT_EQ(L"\"dw0\"=hex(4):", Line(L"dw0", REG_DWORD, {}));
  EXPECT_EQ(L"\"n\\\\ame\"=hex(12345):01", Line(L"n\\ame", 0x12345, Bytes({1})));
  EXPECT_EQ(L"\"qw\"=hex(b):00,00,00,00,00,00,00,00", Line(L"qw", REG_QWORD, std::vector<BYTE>(8)));
  EXPECT_EQ(L"\"b\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\r\n"
            L"  17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27",
            Line(L"b", REG_BINARY, Range(40)));
  EXPECT_EQ(L"\"long name " + std::wstring(60, L'x') +
                L"\"=hex:00,\\\r\n"
                L"  01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,18,19,\\\r\n"
                L"  1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,2f,30,31,32,\\\r\n"
                L"  33,34,35,36,37,38,39,3a,3b,3c,3d,3e,3f,40,41,42,43,44,45,46,47,48,49,4a,4b,\\\r\n"
                L"  4c,4d,4e,4f,50,51,52,53,54,55,56,57,58,59,5a,5b,5c,5d,5e,5f,60,61,62,63",
            Line(L"long name " + std::wstring(60, L'x'), REG_BINARY, Range(100)));
  Writer writer;
  writer.Key(L"HKEY_CURRENT_USER\\a");
  EXPECT_EQ(L"\xFEFFWindows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\a]\r\n\r\n", writer.Finish());
}

TEST(RegText, ValuesTheTextFormsWouldChangeAreWrittenInHexAndReadBackExactly) {
  struct Case {
    DWORD type;
    std::vector<BYTE> data;
    const wchar_t* line;
  } cases[] = {
      {REG_SZ, Units(std::wstring(L"ab\0cd", 6)), L"@=hex(1):61,00,62,00,00,00,63,00,64,00,00,00"},  // zero inside
      {REG_SZ, Units(L"abc"), L"@=hex(1):61,00,62,00,63,00"},                                        // no terminator
      {REG_SZ, Bytes({0x61, 0, 0, 0, 0x41}), L"@=hex(1):61,00,00,00,41"},                           // odd size
      {REG_SZ, {}, L"@=hex(1):"},                                                                    // no bytes
      {REG_DWORD, Bytes({1, 2, 3}), L"@=hex(4):01,02,03"},
      {REG_DWORD, Bytes({1, 2, 3, 4, 5}), L"@=hex(4):01,02,03,04,05"},
      {REG_EXPAND_SZ, Units(L"%x%"), L"@=hex(2):25,00,78,00,25,00"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.line, Line(L"", c.type, c.data));
    auto ops = Parse(File(L"[HKCU\\k]\r\n" + std::wstring(c.line) + L"\r\n"), L"f");
    ASSERT_EQ(2u, ops.size());
    EXPECT_EQ(c.type, ops[1].type) << c.line;
    EXPECT_EQ(c.data, ops[1].data) << c.line;
  }
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
