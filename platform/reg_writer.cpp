// Writes .reg text as Wine 8's `reg export` writes it, character for
// character, with one difference: a value its text forms would change.
#include "platform/reg_writer.h"

namespace vorn::regfile {

namespace {

// reg export breaks a hex line once the characters it has counted reach
// this; each byte but the last counts three (two digits and a comma).
constexpr size_t kHexBreak = 77;
constexpr wchar_t kDigits[] = L"0123456789abcdef";

}  // namespace

bool TextFormHolds(const registry::RawValue& value) noexcept {
  const size_t size = value.data.size();
  if (value.type == REG_DWORD) return size == 4;
  if (value.type != REG_SZ) return false;
  if (size < sizeof(wchar_t) || size % sizeof(wchar_t)) return false;
  const size_t units = size / sizeof(wchar_t);
  const BYTE* d = value.data.data();
  for (size_t i = 0; i < units; ++i) {
    bool zero = d[2 * i] == 0 && d[2 * i + 1] == 0;
    if (zero != (i == units - 1)) return false;
  }
  return true;
}

bool KeyNameWritable(const std::wstring& name) noexcept {
  return name.find_first_of(L"\r\n") == std::wstring::npos;
}

Writer::Writer() { text_ = L"\xFEFFWindows Registry Editor Version 5.00\r\n"; }

void Writer::Key(const std::wstring& path) {
  text_ += L"\r\n[";
  text_ += path;
  text_ += L"]\r\n";
}

void Writer::Escaped(const wchar_t* text, size_t length) {
  // Runs without a character to escape go in whole.
  size_t start = 0;
  for (size_t i = 0; i < length; ++i) {
    const wchar_t* escape = nullptr;
    switch (text[i]) {
      case L'\r': escape = L"\\r"; break;
      case L'\n': escape = L"\\n"; break;
      case L'\\': escape = L"\\\\"; break;
      case L'"': escape = L"\\\""; break;
      default: continue;
    }
    text_.append(text + start, i - start);
    text_ += escape;
    start = i + 1;
  }
  text_.append(text + start, length - start);
}

void Writer::Value(const registry::RawValue& value) {
  const size_t start = text_.size();
  if (value.name.empty()) {
    text_ += L"@=";
  } else {
    text_ += L'"';
    Escaped(value.name.data(), value.name.size());
    text_ += L"\"=";
  }
  if (TextFormHolds(value) && value.type == REG_SZ) {
    // Whole units, the last of them the only zero.
    text_ += L'"';
    Escaped(reinterpret_cast<const wchar_t*>(value.data.data()), value.data.size() / sizeof(wchar_t) - 1);
    text_ += L'"';
  } else if (TextFormHolds(value)) {
    const BYTE* d = value.data.data();
    DWORD n = d[0] | d[1] << 8 | d[2] << 16 | static_cast<DWORD>(d[3]) << 24;
    text_ += L"dword:";
    for (int shift = 28; shift >= 0; shift -= 4) text_ += kDigits[(n >> shift) & 0xF];
  } else {
    Hex(value, text_.size() - start);
  }
  text_ += L"\r\n";
}

void Writer::Hex(const registry::RawValue& value, size_t line_length) {
  const size_t tag_start = text_.size();
  if (value.type == REG_BINARY) {
    text_ += L"hex:";
  } else {
    text_ += L"hex(";
    bool digits = false;
    for (int shift = 28; shift >= 0; shift -= 4) {
      unsigned digit = (value.type >> shift) & 0xF;
      if (digit || digits || shift == 0) text_ += kDigits[digit], digits = true;
    }
    text_ += L"):";
  }
  // reg export counts the line from the name on, the type tag included.
  size_t column = line_length + (text_.size() - tag_start);
  const size_t size = value.data.size();
  for (size_t i = 0; i < size; ++i) {
    BYTE b = value.data[i];
    text_ += kDigits[b >> 4];
    text_ += kDigits[b & 0xF];
    if (i + 1 == size) break;
    text_ += L',';
    column += 3;
    if (column >= kHexBreak) {
      text_ += L"\\\r\n  ";
      column = 2;
    }
  }
}

const std::wstring& Writer::Finish() {
  text_ += L"\r\n";
  return text_;
}

}  // namespace vorn::regfile
