// clsKey.Export and Import against Wine's own reg export and reg import of
// the same trees, the round trip with exact bytes, refusals that write
// nothing, and an import that fails part-way leaving the tree as it was.
#include <algorithm>
#include <fstream>
#include <sstream>

#include "keys/key.h"
#include "harness/registry_test.h"

namespace vorn {
namespace {

using test::B;
using test::Fn;
using test::VStr;

std::string Hex(const BYTE* data, DWORD size) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  for (DWORD i = 0; i < size; ++i) s += digits[data[i] >> 4], s += digits[data[i] & 15];
  return s;
}

// Every key and value below HKCU\path, with exact types and bytes, read with
// advapi32 directly; key names relative to path.
void DumpInto(HKEY key, const std::wstring& name, std::string& out) {
  out += "[" + test::Narrow(name) + "]\n";
  std::vector<wchar_t> value(16384);
  std::vector<BYTE> data(1 << 20);
  std::vector<std::string> lines;
  for (DWORD i = 0;; ++i) {
    DWORD name_length = 16384, size = static_cast<DWORD>(data.size()), type = 0;
    if (::RegEnumValueW(key, i, value.data(), &name_length, nullptr, &type, data.data(), &size)) break;
    out += test::Narrow(std::wstring(value.data(), name_length)) + "=" + std::to_string(type) + ":" +
           Hex(data.data(), size) + "\n";
  }
  wchar_t child[256];
  for (DWORD i = 0, n = 256; !::RegEnumKeyExW(key, i, child, &n, nullptr, nullptr, nullptr, nullptr); ++i, n = 256) {
    HKEY sub = nullptr;
    if (::RegOpenKeyExW(key, child, 0, KEY_READ, &sub)) {
      out += "unreadable " + test::Narrow(child) + "\n";
      continue;
    }
    DumpInto(sub, name + L"\\" + child, out);
    ::RegCloseKey(sub);
  }
}
std::string Dump(const std::wstring& path) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key)) return "missing";
  std::string out;
  DumpInto(key, L"", out);
  ::RegCloseKey(key);
  return out;
}

std::string ReadFile(const std::wstring& path) {
  std::ifstream f(path.c_str(), std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}
void WriteFile(const std::wstring& path, const std::wstring& text, bool unicode = true) {
  std::ofstream f(path.c_str(), std::ios::binary);
  if (unicode) f.write("\xFF\xFE", 2), f.write(reinterpret_cast<const char*>(text.data()), text.size() * 2);
  else f << test::Narrow(text);
}
void Replace(std::string& s, const std::string& from, const std::string& to) {
  for (size_t at = 0; (at = s.find(from, at)) != std::string::npos; at += to.size()) s.replace(at, from.size(), to);
}

// Runs Wine's reg.exe with args; its output goes to out when given.
DWORD Reg(const std::wstring& args, const std::wstring& out = L"") {
  std::wstring command = L"reg.exe " + args;
  STARTUPINFOW start{};
  start.cb = sizeof start;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE file = out.empty() ? INVALID_HANDLE_VALUE
                            : ::CreateFileW(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0,
                                            nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdOutput = start.hStdError = file;
  }
  PROCESS_INFORMATION process{};
  DWORD status = 999;
  if (::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start, &process)) {
    ::WaitForSingleObject(process.hProcess, 120000);
    ::GetExitCodeProcess(process.hProcess, &status);
    ::CloseHandle(process.hProcess);
    ::CloseHandle(process.hThread);
  }
  if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
  return status;
}

std::vector<BYTE> U(const std::wstring& s) {  // UTF-16 units, terminator included
  auto p = reinterpret_cast<const BYTE*>(s.c_str());
  return std::vector<BYTE>(p, p + (s.size() + 1) * 2);
}

class RegFiles : public test::RegistryTest {
 protected:
  void SetUp() override {
    RegistryTest::SetUp();
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"vorn-reg-files-" + std::to_wstring(::GetCurrentProcessId());
    ::CreateDirectoryW(folder_.c_str(), nullptr);
  }
  void TearDown() override {
    WIN32_FIND_DATAW found;
    HANDLE find = ::FindFirstFileW((folder_ + L"\\*").c_str(), &found);
    std::vector<std::wstring> left;
    for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = ::FindNextFileW(find, &found))
      if (found.cFileName[0] != L'.') left.push_back(found.cFileName);
    if (find != INVALID_HANDLE_VALUE) ::FindClose(find);
    for (const std::wstring& name : left) ::DeleteFileW((folder_ + L"\\" + name).c_str());
    ::RemoveDirectoryW(folder_.c_str());
    for (const std::wstring& name : left)
      EXPECT_TRUE(name.find(L".tmp") == std::wstring::npos) << "a temporary file was left: " << test::Narrow(name);
    RegistryTest::TearDown();
  }
  // Stores data exactly: from a copy followed by bytes that are not zero,
  // so that the registry adds no terminator of its own to string data.
  void SetExact(const std::wstring& sub, const std::wstring& name, DWORD type, std::vector<BYTE> data) const {
    DWORD size = static_cast<DWORD>(data.size());
    data.insert(data.end(), 4, 0xFF);
    scratch_.SetRaw(sub, name, type, data.data(), size);
  }
  std::wstring File(const std::wstring& name) const { return folder_ + L"\\" + name; }
  std::wstring Full(const std::wstring& sub = L"") const { return L"HKEY_CURRENT_USER\\" + scratch_.Below(sub); }

  // Export or Import through IDispatch, as a script calls them: the error
  // number; the description is in description_.
  HRESULT Call(const std::wstring& sub, const wchar_t* member, const std::wstring& file, int overwrite = -1) {
    ComPtr<Key> key = test::Aimed<Key>(scratch_.Below(sub));
    unique_variant result;
    unique_variant name = VStr(file), flag;
    V_VT(&flag.ref()) = VT_BOOL;
    V_BOOL(&flag.ref()) = overwrite > 0 ? VARIANT_TRUE : VARIANT_FALSE;
    std::vector<VARIANT> args{name.ref()};
    if (overwrite >= 0) args.push_back(flag.ref());
    HRESULT hr = test::Invoke(key->Published(), member, DISPATCH_METHOD, args, &result.ref());
    description_ = hr == S_OK ? L"" : test::ThreadErrorDescription();
    if (hr == S_OK) {
      EXPECT_EQ(VT_BOOL, V_VT(&result.ref()));
      EXPECT_EQ(VARIANT_TRUE, V_BOOL(&result.ref()));
    }
    return hr;
  }

  // A tree of every type whose values reg export holds exactly.
  void MakeTree(const std::wstring& sub) {
    std::vector<BYTE> binary(300);
    for (size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<BYTE>(i * 13);
    auto set = [&](const std::wstring& key, const std::wstring& name, DWORD type, const std::vector<BYTE>& data) {
      scratch_.SetRaw(sub.empty() ? key : key.empty() ? sub : sub + L"\\" + key, name, type, data.data(),
                      static_cast<DWORD>(data.size()));
    };
    set(L"", L"", REG_SZ, U(L"default text"));
    set(L"", L"quote \" and back\\slash", REG_SZ, U(L"say \"hi\" C:\\dir\r\nnext ; = [x] \u00e9\u6f22"));
    set(L"", L"empty", REG_SZ, U(L""));
    set(L"", L"dword", REG_DWORD, {0x78, 0x56, 0x34, 0x12});
    set(L"", L"expand", REG_EXPAND_SZ, U(L"%SystemRoot%\\x"));
    set(L"", L"multi", REG_MULTI_SZ, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0});
    set(L"", L"binary long", REG_BINARY, binary);
    set(L"", L"binary empty", REG_BINARY, {});
    set(L"", L"qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8});
    set(L"", L"none", REG_NONE, {1});
    set(L"", L"own type", 0x12345, {9});
    set(L"", L"dword of no bytes", REG_DWORD, {});
    set(L"", std::wstring(70, L'n'), REG_BINARY, binary);
    set(L"Child key", L"", REG_SZ, U(L"child"));
    set(L"Child key\\grand", L"big endian", REG_DWORD_BIG_ENDIAN, {0, 0, 1, 2});
    scratch_.CreateKey(sub.empty() ? L"empty leaf" : sub + L"\\empty leaf");
  }

  std::wstring folder_;
  std::wstring description_;
};

TEST_F(RegFiles, ExportWritesTheBytesRegExportWrites) {
  MakeTree(L"tree");
  ASSERT_EQ(S_OK, Call(L"tree", L"Export", File(L"mine.reg")));
  ASSERT_EQ(0u, Reg(L"export \"" + Full(L"tree") + L"\" \"" + File(L"theirs.reg") + L"\" /y"));
  std::string mine = ReadFile(File(L"mine.reg")), theirs = ReadFile(File(L"theirs.reg"));
  EXPECT_GT(theirs.size(), 1000u);
  EXPECT_EQ(theirs, mine);
}

TEST_F(RegFiles, ExportReadsListsByTheirCountsAndAgainWholeWhenTheTreeChangesMeanwhile) {
  MakeTree(L"tree");
  Rec().Reset();
  ASSERT_EQ(S_OK, Call(L"tree", L"Export", File(L"quiet.reg")));
  // Unchanged, the tree is read once, each list by its count.
  EXPECT_EQ(4u, CallsOf(Fn::QueryInfoKey));
  for (const test::Call& c : Rec().calls) EXPECT_NE(ERROR_NO_MORE_ITEMS, c.status) << static_cast<int>(c.fn);

  // A value set in a key after its count was taken is written all the same:
  // the change is seen and the tree read again to the end of every list.
  Rec().Reset();
  auto counted = std::make_shared<int>(0);
  auto added = std::make_shared<bool>(false);
  std::wstring child = scratch_.Below(L"tree\\Child key");
  Rec().fault = [=](const test::Call& c) -> std::optional<LONG> {
    if (c.fn == Fn::QueryInfoKey) {
      ++*counted;  // the second is Child key's
    } else if (*counted == 2 && !*added) {
      DWORD late = 7;
      *added = !::RegSetKeyValueW(HKEY_CURRENT_USER, child.c_str(), L"zz late", REG_DWORD, &late, sizeof late);
    }
    return std::nullopt;
  };
  ASSERT_EQ(S_OK, Call(L"tree", L"Export", File(L"changed.reg")));
  ASSERT_TRUE(*added);
  ASSERT_EQ(0u, Reg(L"export \"" + Full(L"tree") + L"\" \"" + File(L"theirs.reg") + L"\" /y"));
  EXPECT_EQ(ReadFile(File(L"theirs.reg")), ReadFile(File(L"changed.reg")));
  EXPECT_NE(ReadFile(File(L"quiet.reg")), ReadFile(File(L"changed.reg")));
}

TEST_F(RegFiles, EachValueRegExportCannotHoldIsWrittenInHexAndImportedExactly) {
  struct Case {
    const wchar_t* name;
    DWORD type;
    std::vector<BYTE> data;
    const char* line;
  } cases[] = {
      {L"zero inside", REG_SZ, {'a', 0, 0, 0, 'b', 0, 0, 0}, "\"zero inside\"=hex(1):61,00,00,00,62,00,00,00"},
      {L"unterminated", REG_SZ, {'a', 0, 'b', 0}, "\"unterminated\"=hex(1):61,00,62,00"},
      {L"odd", REG_SZ, {'a', 0, 0, 0, 'b'}, "\"odd\"=hex(1):61,00,00,00,62"},
      {L"no bytes", REG_SZ, {}, "\"no bytes\"=hex(1):"},
      {L"short dword", REG_DWORD, {1, 2, 3}, "\"short dword\"=hex(4):01,02,03"},
      {L"long dword", REG_DWORD, {1, 2, 3, 4, 5}, "\"long dword\"=hex(4):01,02,03,04,05"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, scratch_.Below(L"one").c_str());
    SetExact(L"one", c.name, c.type, c.data);
    ASSERT_EQ(S_OK, Call(L"one", L"Export", File(L"one.reg"), 1));
    std::string expected = "[" + test::Narrow(Full(L"one")) + "]\r\n" + c.line + "\r\n\r\n", mine;
    for (char ch : ReadFile(File(L"one.reg")).substr(2)) mine += ch ? std::string(1, ch) : "";  // ASCII here
    EXPECT_NE(std::string::npos, mine.find(expected)) << mine;
    // reg export writes something else, which its import would not give back.
    ASSERT_EQ(0u, Reg(L"export \"" + Full(L"one") + L"\" \"" + File(L"theirs.reg") + L"\" /y"));
    EXPECT_NE(ReadFile(File(L"theirs.reg")), ReadFile(File(L"one.reg")));

    std::string before = Dump(scratch_.Below(L"one"));
    ::RegDeleteTreeW(HKEY_CURRENT_USER, scratch_.Below(L"one").c_str());
    ASSERT_EQ(S_OK, Call(L"one", L"Import", File(L"one.reg"))) << test::Narrow(description_);
    EXPECT_EQ(before, Dump(scratch_.Below(L"one")));
  }
}

TEST_F(RegFiles, ExportDeleteImportGivesBackEveryKeyAndValueExactly) {
  MakeTree(L"tree");
  SetExact(L"tree\\Child key", L"odd", REG_SZ, {'a', 0, 'b'});
  SetExact(L"tree\\Child key", L"unterminated", REG_EXPAND_SZ, {'a', 0, 'b', 0});
  std::string before = Dump(scratch_.Below(L"tree"));
  // Through a path with an empty component, which the registry skips: the
  // file names the keys as the registry resolves them, and reads back.
  ASSERT_EQ(S_OK, Call(L"\\tree", L"Export", File(L"tree.reg")));
  const std::wstring doubled = L"\\\\tree";
  EXPECT_EQ(std::string::npos, ReadFile(File(L"tree.reg"))
                                   .find(std::string(reinterpret_cast<const char*>(doubled.data()), doubled.size() * 2)));
  ASSERT_EQ(ERROR_SUCCESS, ::RegDeleteTreeW(HKEY_CURRENT_USER, scratch_.Below(L"tree").c_str()));
  ::RegDeleteKeyW(HKEY_CURRENT_USER, scratch_.Below(L"tree").c_str());
  ASSERT_EQ("missing", Dump(scratch_.Below(L"tree")));

  ComPtr<Key> key = test::Aimed<Key>(scratch_.Below(L"\\tree"));
  unique_variant file = VStr(File(L"tree.reg")), result, exists;
  ASSERT_EQ(S_OK, test::Invoke(key->Published(), L"Import", DISPATCH_METHOD, {file.ref()}, &result.ref()));
  EXPECT_EQ(before, Dump(scratch_.Below(L"tree")));
  ASSERT_EQ(S_OK, test::Invoke(key->Published(), L"Exists", DISPATCH_PROPERTYGET, {}, &exists.ref()));
  EXPECT_EQ(VARIANT_TRUE, V_BOOL(&exists.ref())) << "the key object was refreshed";
}

TEST_F(RegFiles, ImportLeavesTheRegistryAsRegImportLeavesIt) {
  // A hand-written file of every syntax form, and a file reg export wrote,
  // each applied by Import below "mine" and by reg import below "theirs".
  const std::wstring hand =
      L"Windows Registry Editor Version 5.00\r\n; every form reg import reads\r\n\r\n"
      L"# a comment of the other kind\r\n"
      L"[HKCU\\TOP] # what follows the key is not read\r\n"
      L"  # indented\r\n"
      L"@ = \"default\"\r\n"
      L"\"replaced\"=\"new\"   ; comment\r\n"
      L"\t\"dw\" =dword:DeadBeef\r\n"
      L"\"bin\"=hex:0A,ff,\\\r\n"
      L"   ; a comment inside\r\n"
      L"\r\n"
      L"  1,2\r\n"
      L"\"exp\"=hex(2):25,00,41,00,25,00,00,00\r\n"
      L"\"multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
      L"\"qw\"=hex(b):01,02,03,04,05,06,07,08\r\n"
      L"\"empty\"=hex(0):\r\n"
      L"\"esc \\\"q\\\" \\\\\"=\"a\\\"b\\\\c\"\r\n"
      L"\"old\"=-\r\n"
      L"[-HKEY_CURRENT_USER\\TOP\\doomed]\r\n"
      L"[hkey_current_user\\TOP\\New\\Deep]\r\n"
      L"\"x\"=dword:1\r\n";
  MakeTree(L"source");
  ASSERT_EQ(0u, Reg(L"export \"" + Full(L"source") + L"\" \"" + File(L"exported.reg") + L"\" /y"));
  std::string exported = ReadFile(File(L"exported.reg"));
  std::wstring exported_text(reinterpret_cast<const wchar_t*>(exported.data() + 2), (exported.size() - 2) / 2);

  const std::wstring regedit4 = L"REGEDIT4\r\n\r\n[HKCU\\TOP\\four]\r\n\"text\"=\"caf\u00e9\"\r\n"
                                L"\"exp\"=hex(2):25,41,25,00\r\n\"multi\"=hex(7):61,00,62,00,00\r\n";
  for (const std::wstring& text : {hand, exported_text, regedit4}) {
    for (const wchar_t* side : {L"mine", L"theirs"}) {
      ::RegDeleteTreeW(HKEY_CURRENT_USER, scratch_.Below(side).c_str());
      scratch_.SetString(side, L"replaced", L"old");
      scratch_.SetString(side, L"old", L"to be deleted");
      scratch_.SetString(std::wstring(side) + L"\\doomed\\below", L"v", L"gone");
      std::wstring file = text;
      for (const std::wstring from : {L"HKCU\\TOP", L"HKEY_CURRENT_USER\\TOP", L"hkey_current_user\\TOP"}) {
        for (size_t at = 0; (at = file.find(from, at)) != std::wstring::npos;)
          file.replace(at, from.size(), Full(side));
      }
      for (size_t at = 0; (at = file.find(Full(L"source"), at)) != std::wstring::npos;)
        file.replace(at, Full(L"source").size(), Full(side));
      WriteFile(File(side + std::wstring(L".reg")), file.substr(file[0] == 0xFEFF), text.rfind(L"REGEDIT4", 0) != 0);
      if (side == std::wstring(L"mine")) {
        ASSERT_EQ(S_OK, Call(side, L"Import", File(L"mine.reg"))) << test::Narrow(description_);
      } else {
        ASSERT_EQ(0u, Reg(L"import \"" + File(L"theirs.reg") + L"\""));
      }
    }
    ASSERT_EQ(0u, Reg(L"query \"" + Full(L"mine") + L"\" /s", File(L"mine.txt")));
    ASSERT_EQ(0u, Reg(L"query \"" + Full(L"theirs") + L"\" /s", File(L"theirs.txt")));
    std::string mine = ReadFile(File(L"mine.txt")), theirs = ReadFile(File(L"theirs.txt"));
    Replace(theirs, test::Narrow(scratch_.Below(L"theirs")), test::Narrow(scratch_.Below(L"mine")));
    EXPECT_GT(theirs.size(), 300u);
    EXPECT_EQ(theirs, mine);
    EXPECT_TRUE(text != regedit4 || scratch_.ValueExists(L"mine\\four", L"multi"));
  }
}

TEST_F(RegFiles, RefusalsWriteNothing) {
  MakeTree(L"tree");
  const std::string before = Dump(scratch_.Below(L"tree"));
  const std::wstring top = L"[" + Full(L"tree") + L"]\r\n\"new\"=\"value\"\r\n[" + Full(L"tree\\added") + L"]\r\n";
  struct Case {
    std::wstring text;
    HRESULT hr;
    const wchar_t* named;
  } cases[] = {
      {top + L"rubbish\r\n\"late\"=dword:1\r\n", HRESULT_FROM_WIN32(ERROR_INVALID_DATA), L"line 6:"},
      {top + L"\"late\"=dword:1\r\n\"last\"=hex:1,2,zz", HRESULT_FROM_WIN32(ERROR_INVALID_DATA), L"line 7:"},
      {top + L"\"last\"=\"unclosed", HRESULT_FROM_WIN32(ERROR_INVALID_DATA), L"line 6:"},
      // A sibling whose name begins with the key's name is outside it.
      {top + L"[" + Full(L"treeX") + L"]\r\n", static_cast<HRESULT>(0x800A0005), L"line 6:"},
      {top + L"[HKEY_LOCAL_MACHINE\\" + scratch_.Below(L"tree") + L"]\r\n", static_cast<HRESULT>(0x800A0005),
       L"line 6:"},
      {top + L"[-" + Full() + L"]\r\n", static_cast<HRESULT>(0x800A0005), L"line 6:"},
      {top + L"[HKXX\\k]\r\n", HRESULT_FROM_WIN32(ERROR_INVALID_DATA), L"line 6: \"HKXX\" is not a root"},
  };
  for (const Case& c : cases) {
    WriteFile(File(L"bad.reg"), L"Windows Registry Editor Version 5.00\r\n\r\n" + c.text);
    EXPECT_EQ(c.hr, Call(L"tree", L"Import", File(L"bad.reg"))) << test::Narrow(c.text);
    EXPECT_NE(std::wstring::npos, description_.find(File(L"bad.reg") + L", " + c.named)) << test::Narrow(description_);
    EXPECT_EQ(before, Dump(scratch_.Below(L"tree")));
  }
  // An existing file without Overwrite.
  WriteFile(File(L"existing.reg"), L"keep me");
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_EXISTS), Call(L"tree", L"Export", File(L"existing.reg")));
  EXPECT_NE(std::wstring::npos, description_.find(File(L"existing.reg")));
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_EXISTS), Call(L"tree", L"Export", File(L"existing.reg"), 0));
  EXPECT_EQ(std::string("\xFF\xFEk\0e\0e\0p\0 \0m\0e\0", 16), ReadFile(File(L"existing.reg")));
  EXPECT_EQ(S_OK, Call(L"tree", L"Export", File(L"existing.reg"), 1));
  EXPECT_GT(ReadFile(File(L"existing.reg")).size(), 1000u);
}

TEST_F(RegFiles, AKeyExportCannotReadIsAnErrorNamingItAndLeavesTheFileAsItWas) {
  MakeTree(L"tree");
  WriteFile(File(L"existing.reg"), L"keep me");
  Rec().Fail(Fn::OpenKeyEx, ERROR_ACCESS_DENIED, [](const test::Call& c) { return c.name == L"grand"; });
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), Call(L"tree", L"Export", File(L"existing.reg"), 1));
  EXPECT_NE(std::wstring::npos, description_.find(Full(L"tree\\Child key\\grand"))) << test::Narrow(description_);
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), Call(L"tree", L"Export", File(L"new.reg")));
  EXPECT_EQ(std::string("\xFF\xFEk\0e\0e\0p\0 \0m\0e\0", 16), ReadFile(File(L"existing.reg")));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(File(L"new.reg").c_str()));
}

TEST_F(RegFiles, AWriteFailurePartWayLeavesTheTreeExactlyAsItWas) {
  MakeTree(L"tree");
  SetExact(L"tree\\Child key", L"odd", REG_SZ, {'a', 0, 'b'});
  const std::string before = Dump(scratch_.Below(L"tree"));
  // Replaces, adds and deletes values in keys that exist, deletes a tree
  // (holding an odd-sized string), and creates keys with values. What the
  // undo brings back keeps the registry's spelling, not the file's.
  WriteFile(File(L"change.reg"), L"Windows Registry Editor Version 5.00\r\n\r\n[" + Full(L"tree") +
                                     L"]\r\n@=\"replaced\"\r\n\"DWORD\"=-\r\n\"added\"=hex(2):41,00\r\n[-" +
                                     Full(L"tree\\CHILD Key") + L"]\r\n[" + Full(L"tree\\new\\deeper") +
                                     L"]\r\n\"a\"=dword:1\r\n\"b\"=\"x\"\r\n[" + Full(L"tree\\empty leaf") +
                                     L"]\r\n\"c\"=hex:01\r\n\"expand\"=-\r\n");
  // Each write in turn fails once: every change before it is undone.
  for (int nth = 1; nth <= 5; ++nth) {
    SCOPED_TRACE(nth);
    Rec().FailNth(Fn::SetValueEx, nth, ERROR_ACCESS_DENIED);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), Call(L"tree", L"Import", File(L"change.reg")));
    EXPECT_NE(std::wstring::npos, description_.find(L"line ")) << test::Narrow(description_);
    EXPECT_NE(std::wstring::npos, description_.find(L"every change made before it was undone"));
    EXPECT_EQ(before, Dump(scratch_.Below(L"tree")));
  }
  for (Fn fn : {Fn::DeleteValue, Fn::CreateKeyEx}) {
    Rec().FailNth(fn, 2, ERROR_ACCESS_DENIED);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), Call(L"tree", L"Import", File(L"change.reg")));
    EXPECT_EQ(before, Dump(scratch_.Below(L"tree")));
  }
  Rec().Reset();
  EXPECT_EQ(S_OK, Call(L"tree", L"Import", File(L"change.reg"))) << test::Narrow(description_);
  EXPECT_NE(before, Dump(scratch_.Below(L"tree")));
  EXPECT_FALSE(scratch_.KeyExists(L"tree\\Child key"));
  EXPECT_TRUE(scratch_.ValueExists(L"tree\\new\\deeper", L"b"));
}

}  // namespace
}  // namespace vorn
