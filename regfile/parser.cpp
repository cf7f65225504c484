// Parses .reg text into operations, refusing any line that `reg import`
// would skip, so that nothing is written from a file that is not whole.
#include "regfile/parser.h"

#include <string_view>

#include "automation/errors.h"

namespace vorn::regfile {

namespace {

bool Blank(wchar_t c) noexcept { return c == L' ' || c == L'\t'; }
int HexDigit(wchar_t c) noexcept {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

// One physical line of the file and its number.
struct Line {
  const wchar_t* text;
  size_t length;
  int number;
};

class Parser {
 public:
  Parser(std::vector<Line> lines, bool unicode, const std::wstring& file)
      : lines_(std::move(lines)), unicode_(unicode), file_(file) {}

  std::vector<Operation> Run() {
    if (lines_.empty()) Fail(1, L"the file is empty; it must begin with a registry file header");
    // The header, after any spaces, exactly.
    std::wstring_view header = Rest(lines_[0], 0);
    if (header != L"Windows Registry Editor Version 5.00" && header != L"REGEDIT4")
      Fail(1, L"the file does not begin with \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\"");
    operations_.reserve(lines_.size());
    for (next_ = 1; next_ < lines_.size();) Statement(lines_[next_++]);
    return std::move(operations_);
  }

 private:
  [[noreturn]] void Fail(int line, const std::wstring& what) const {
    throw Error(HRESULT_FROM_WIN32(ERROR_INVALID_DATA), file_ + L", line " + std::to_wstring(line) + L": " + what);
  }

  // The text of s (or of a line) from position at, leading spaces and tabs
  // skipped.
  static std::wstring_view Rest(std::wstring_view s, size_t at) {
    while (at < s.size() && Blank(s[at])) ++at;
    return s.substr(at);
  }
  static std::wstring_view Rest(const Line& line, size_t at) { return Rest(std::wstring_view(line.text, line.length), at); }
  // Whether s from at on holds nothing but spaces, tabs and a comment.
  static bool OnlyComment(std::wstring_view s, size_t at) {
    while (at < s.size() && Blank(s[at])) ++at;
    return at == s.size() || s[at] == L';';
  }
  // reg import also reads a line that begins with # as a comment, and takes
  // a [key] line whatever follows its ]; a # after the data of a value, or
  // among continued lines of hex data, makes it skip the value instead.
  static bool CommentLine(std::wstring_view s) { return s.empty() || s[0] == L';' || s[0] == L'#'; }

  void Statement(const Line& line) {
    std::wstring_view s = Rest(line, 0);
    if (CommentLine(s)) return;
    switch (s[0]) {
      case L'[': KeyLine(s, line.number); return;
      case L'@': ValueLine(s, 1, std::wstring(), line.number); return;
      case L'"': {
        std::wstring name;
        size_t after = Unescape(s, 1, name, line.number, L"value name");
        ValueLine(s, after, name, line.number);
        return;
      }
      default: Fail(line.number, L"this is neither a [key] line, a value line nor a comment (; or #)");
    }
  }

  void KeyLine(std::wstring_view s, int number) {
    size_t close = s.rfind(L']');
    if (close == std::wstring::npos || close == 0) Fail(number, L"the key name has no closing ]");
    if (!CommentLine(Rest(s, close + 1)))
      Fail(number, L"there is text after the closing ] of the key name");
    std::wstring name(s.substr(1, close - 1));
    Operation op;
    op.line = number;
    op.kind = Operation::kKey;
    if (!name.empty() && name[0] == L'-') {
      op.kind = Operation::kDeleteKey;
      name.erase(0, 1);
    }
    if (name.empty() || Blank(name[0])) Fail(number, L"the key name must begin with a root key name");
    size_t slash = name.find(L'\\');
    op.root = name.substr(0, slash);
    if (slash != std::wstring::npos) op.path = name.substr(slash + 1);
    if (slash != std::wstring::npos &&
        (op.path.empty() || op.path.front() == L'\\' || op.path.back() == L'\\' ||
         op.path.find(L"\\\\") != std::wstring::npos))
      Fail(number, L"the key path has an empty component");
    if (op.kind == Operation::kDeleteKey && op.path.empty()) Fail(number, L"a root key cannot be deleted");
    in_key_ = op.kind == Operation::kKey;
    operations_.push_back(std::move(op));
  }

  // Reads a quoted text from s[at] (just after the opening quote) up to its
  // closing quote, undoing reg export's escapes; returns the position after
  // the closing quote.
  size_t Unescape(std::wstring_view s, size_t at, std::wstring& out, int number, const wchar_t* what) {
    for (; at < s.size(); ++at) {
      // A run without a quotation mark or backslash goes in whole.
      size_t run = at;
      while (run < s.size() && s[run] != L'"' && s[run] != L'\\') ++run;
      out.append(s.data() + at, run - at);
      if ((at = run) == s.size()) break;
      if (s[at] == L'"') return at + 1;
      if (++at == s.size()) break;
      switch (s[at]) {
        case L'n': out += L'\n'; break;
        case L'r': out += L'\r'; break;
        case L'0': Fail(number, std::wstring(L"the ") + what + L" holds the escape \\0");
        default: out += s[at];  // \\, \" and, as reg import reads them, any other
      }
    }
    Fail(number, std::wstring(L"the ") + what + L" has no closing quotation mark");
  }

  void ValueLine(std::wstring_view s, size_t at, std::wstring name, int number) {
    while (at < s.size() && Blank(s[at])) ++at;
    if (at == s.size() || s[at] != L'=') Fail(number, L"the value name is not followed by =");
    ++at;
    while (at < s.size() && Blank(s[at])) ++at;
    std::wstring_view data = s.substr(at);
    while (!data.empty() && Blank(data.back())) data.remove_suffix(1);
    if (!in_key_) Fail(number, L"a value line must follow a [key] line");

    Operation op;
    op.line = number;
    op.name = std::move(name);
    op.kind = Operation::kSetValue;
    if (!data.empty() && data[0] == L'-') {
      if (!OnlyComment(data, 1)) Fail(number, L"there is text after =-");
      op.kind = Operation::kDeleteValue;
    } else if (!data.empty() && data[0] == L'"') {
      std::wstring text;
      size_t after = Unescape(data, 1, text, number, L"string");
      if (!OnlyComment(data, after)) Fail(number, L"there is text after the closing quotation mark");
      op.type = REG_SZ;
      const BYTE* bytes = reinterpret_cast<const BYTE*>(text.c_str());
      op.data.assign(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
    } else if (data.compare(0, 6, L"dword:") == 0) {
      op.type = REG_DWORD;
      Dword(data, 6, op, number);
    } else if (data.compare(0, 4, L"hex:") == 0) {
      op.type = REG_BINARY;
      HexData(data, 4, op, number);
    } else if (data.compare(0, 4, L"hex(") == 0) {
      size_t i = 4;
      while (i < data.size() && Blank(data[i])) ++i;
      unsigned long long type = 0;
      size_t digits = 0;
      for (; i < data.size() && HexDigit(data[i]) >= 0; ++i, ++digits) type = type * 16 + HexDigit(data[i]);
      if (!digits || digits > 8 || data.compare(i, 2, L"):") != 0)
        Fail(number, L"hex( must be followed by the type in hexadecimal digits and ):");
      op.type = static_cast<DWORD>(type);
      HexData(data, i + 2, op, number);
    } else {
      Fail(number, L"the data must be \"text\", dword:, hex:, hex(type): or - (delete)");
    }
    operations_.push_back(std::move(op));
  }

  void Dword(std::wstring_view s, size_t at, Operation& op, int number) {
    while (at < s.size() && Blank(s[at])) ++at;
    if (at == s.size()) Fail(number, L"dword: has no digits");
    DWORD n = 0;
    size_t digits = 0;
    for (; at < s.size() && HexDigit(s[at]) >= 0; ++at, ++digits) n = n * 16 + HexDigit(s[at]);
    if (digits > 8) Fail(number, L"dword: takes at most 8 hexadecimal digits");
    if (!OnlyComment(s, at)) Fail(number, L"dword: must be followed by hexadecimal digits only");
    for (int i = 0; i < 4; ++i) op.data.push_back(static_cast<BYTE>(n >> (8 * i)));
  }

  // Bytes as two-digit (or shorter) hexadecimal numbers separated by
  // commas; a line ending in ",\" continues on the next line, past blank
  // lines and comment lines.
  void HexData(std::wstring_view first, size_t at, Operation& op, int number) {
    std::wstring_view s = first;
    op.data.reserve(s.size() / 3 + 1);
    int current = number;  // the line read now
    for (;;) {
      bool continued = false;
      while (at < s.size()) {
        size_t i = at;
        while (i < s.size() && Blank(s[i])) ++i;
        if (i + 1 < s.size() && s[i] == L'0' && (s[i + 1] == L'x' || s[i + 1] == L'X')) i += 2;
        unsigned value = 0;
        size_t digits = 0;
        for (int digit; i < s.size() && (digit = HexDigit(s[i])) >= 0; ++i, ++digits) {
          value = value * 16 + digit;
          if (value > 0xFF) Fail(current, L"a byte of hex data is larger than ff");
        }
        if (!digits) {
          while (i < s.size() && Blank(s[i])) ++i;
          if (i < s.size() && s[i] == L'\\') {
            if (!OnlyComment(s, i + 1)) Fail(current, L"there is text after the \\ that continues the line");
            continued = true;
          } else if (i < s.size() && s[i] != L';') {
            Fail(current, L"hex data must be bytes in hexadecimal digits separated by commas");
          }
          break;
        }
        op.data.push_back(static_cast<BYTE>(value));
        if (i < s.size() && s[i] == L',') {
          at = i + 1;
          continue;
        }
        if (!OnlyComment(s, i)) Fail(current, L"hex data must be bytes in hexadecimal digits separated by commas");
        break;
      }
      if (!continued) break;
      // The next line that is neither blank nor a comment carries on. A
      // file that ends first was cut off in the middle of the value: reg
      // import would store the bytes it has, but they are not the value.
      for (const int marked = current;;) {
        if (next_ == lines_.size())
          Fail(marked, L"the hex data is continued (\\ at the end of the line), but the file ends: it is cut off");
        const Line& line = lines_[next_++];
        s = Rest(line, 0);
        current = line.number;
        if (s.empty() || s[0] == L';') continue;
        if (HexDigit(s[0]) < 0) Fail(current, L"a continued line of hex data must begin with a hexadecimal digit");
        at = 0;
        break;
      }
    }
    Finish(op);
  }

  // Text types in a REGEDIT4 file are in the system's code page, as regedit
  // writes them: they are terminated when they are not and converted, as
  // reg import does. In a UTF-16 file the bytes are stored as they are.
  void Finish(Operation& op) const {
    if (unicode_ || op.data.empty() || (op.type != REG_SZ && op.type != REG_EXPAND_SZ && op.type != REG_MULTI_SZ))
      return;
    if (op.data.back() != 0) op.data.push_back(0);
    int units = ::MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(op.data.data()),
                                      static_cast<int>(op.data.size()), nullptr, 0);
    std::wstring wide(units, L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(op.data.data()), static_cast<int>(op.data.size()),
                          wide.data(), units);
    const BYTE* bytes = reinterpret_cast<const BYTE*>(wide.data());
    op.data.assign(bytes, bytes + wide.size() * sizeof(wchar_t));
  }

  std::vector<Line> lines_;
  bool unicode_;
  const std::wstring& file_;
  size_t next_ = 0;
  bool in_key_ = false;
  std::vector<Operation> operations_;
};

}  // namespace

std::vector<Operation> Parse(const std::vector<BYTE>& bytes, const std::wstring& file) {
  std::wstring text;
  const bool unicode = bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE;
  if (unicode) {
    if (bytes.size() % 2)
      throw Error(HRESULT_FROM_WIN32(ERROR_INVALID_DATA), file + L": the file ends in half a UTF-16 character");
    text.assign(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
  } else if (!bytes.empty()) {
    int units = ::MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(bytes.data()),
                                      static_cast<int>(bytes.size()), nullptr, 0);
    text.assign(units, L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()),
                          text.data(), units);
  }
  // Lines end at CR LF, CR or LF.
  std::vector<Line> lines;
  int number = 1;
  lines.reserve(text.size() / 32 + 1);
  const wchar_t* const data = text.data();
  for (size_t start = 0; start < text.size(); ++number) {
    // One pass finds the end of the line and any zero character in it.
    size_t end = start;
    wchar_t c = 0;
    while (end < text.size() && (c = data[end]) != L'\r' && c != L'\n' && c != L'\0') ++end;
    if (end < text.size() && c == L'\0')
      throw Error(HRESULT_FROM_WIN32(ERROR_INVALID_DATA),
                  file + L", line " + std::to_wstring(number) + L": the line holds a zero character");
    lines.push_back({data + start, end - start, number});
    start = end + (end + 1 < text.size() && text[end] == L'\r' && text[end + 1] == L'\n' ? 2 : 1);
  }
  return Parser(std::move(lines), unicode, file).Run();
}

}  // namespace vorn::regfile
