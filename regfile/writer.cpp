// Writes .reg text as Wine 8's `reg export` writes it, character for
// character, with one difference: a value its text forms would change.
#include "regfile/writer.h"

#include <cstdint>
#include <cstring>
#include <string_view>

namespace vorn::regfile {

namespace {

// reg export breaks a hex line once the characters it has counted reach
// this; each byte but the last counts three (two digits and a comma).
constexpr size_t kHexBreak = 77;
constexpr wchar_t kDigits[] = L"0123456789abcdef";

}  // namespace

bool TextFormHolds(DWORD type, const BYTE* d, size_t size) noexcept {
  if (type == REG_DWORD) return size == 4;
  if (type != REG_SZ) return false;
  if (size < sizeof(wchar_t) || size % sizeof(wchar_t)) return false;
  const size_t units = size / sizeof(wchar_t);
  for (size_t i = 0; i < units; ++i) {
    bool zero = d[2 * i] == 0 && d[2 * i + 1] == 0;
    if (zero != (i == units - 1)) return false;
  }
  return true;
}

bool KeyNameWritable(std::wstring_view name) noexcept {
  return name.find_first_of(L"\r\n") == std::wstring_view::npos;
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

void Writer::Value(const wchar_t* name, size_t name_length, DWORD type, const BYTE* data, size_t size) {
  const size_t start = text_.size();
  if (!name_length) {
    text_ += L"@=";
  } else {
    text_ += L'"';
    Escaped(name, name_length);
    text_ += L"\"=";
  }
  if (TextFormHolds(type, data, size) && type == REG_SZ) {
    // Whole units, the last of them the only zero (read through a copy
    // when the bytes do not lie on a wchar_t boundary).
    text_ += L'"';
    const size_t units = size / sizeof(wchar_t) - 1;
    if (reinterpret_cast<uintptr_t>(data) % alignof(wchar_t) == 0) {
      Escaped(reinterpret_cast<const wchar_t*>(data), units);
    } else {
      std::wstring copy(units, L'\0');
      std::memcpy(copy.data(), data, units * sizeof(wchar_t));
      Escaped(copy.data(), units);
    }
    text_ += L'"';
  } else if (TextFormHolds(type, data, size)) {
    DWORD n = data[0] | data[1] << 8 | data[2] << 16 | static_cast<DWORD>(data[3]) << 24;
    wchar_t digits[15] = L"dword:";
    for (int i = 0; i < 8; ++i) digits[6 + i] = kDigits[(n >> (28 - 4 * i)) & 0xF];
    text_.append(digits, 14);
  } else {
    Hex(type, data, size, text_.size() - start);
  }
  text_ += L"\r\n";
}

void Writer::Hex(DWORD type, const BYTE* data, size_t size, size_t line_length) {
  const size_t tag_start = text_.size();
  if (type == REG_BINARY) {
    text_ += L"hex:";
  } else {
    text_ += L"hex(";
    bool digits = false;
    for (int shift = 28; shift >= 0; shift -= 4) {
      unsigned digit = (type >> shift) & 0xF;
      if (digit || digits || shift == 0) text_ += kDigits[digit], digits = true;
    }
    text_ += L"):";
  }
  // reg export counts the line from the name on, the type tag included.
  size_t column = line_length + (text_.size() - tag_start);
  // Each line goes in whole from a buffer of its own: it holds at most
  // kHexBreak / 3 + 1 bytes of three characters and the five of the break.
  wchar_t line[kHexBreak + 16];
  size_t used = 0;
  for (size_t i = 0; i < size; ++i) {
    BYTE b = data[i];
    line[used++] = kDigits[b >> 4];
    line[used++] = kDigits[b & 0xF];
    if (i + 1 == size) break;
    line[used++] = L',';
    column += 3;
    if (column >= kHexBreak) {
      static constexpr wchar_t kBreak[] = L"\\\r\n  ";
      for (wchar_t c : std::wstring_view(kBreak, 5)) line[used++] = c;
      text_.append(line, used);
      used = 0;
      column = 2;
    }
  }
  text_.append(line, used);
}

const std::wstring& Writer::Finish() {
  text_ += L"\r\n";
  return text_;
}

}  // namespace vorn::regfile
