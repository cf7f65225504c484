// The .reg text that Wine's `reg export` writes (version 5.00), built in
// memory: no registry calls. Values that its text forms cannot hold exactly
// are written as hex(N): of their exact bytes instead.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace vorn::regfile {

// Whether the "text" (REG_SZ) or dword: form of reg export gives back
// exactly this value when the line is read again. A REG_SZ qualifies only as
// whole UTF-16 units ending in its one zero unit, with no other zero unit; a
// REG_DWORD only as exactly 4 bytes. Every other value is written in hex
// form, which always holds its bytes.
bool TextFormHolds(DWORD type, const BYTE* data, size_t size) noexcept;

// Whether a key name can stand in a [key] line: reg export writes it raw, so
// a carriage return or line feed in it would split the line.
bool KeyNameWritable(std::wstring_view name) noexcept;

class Writer {
 public:
  // The byte order mark and the header line.
  Writer();
  // A blank line, then "[path]" (path is written as it is given).
  void Key(const std::wstring& path);
  // One value line, wrapped as reg export wraps hex data.
  void Value(const wchar_t* name, size_t name_length, DWORD type, const BYTE* data, size_t size);
  // The whole text, ended by the final blank line, as UTF-16LE units.
  const std::wstring& Finish();

 private:
  void Escaped(const wchar_t* text, size_t length);
  void Hex(DWORD type, const BYTE* data, size_t size, size_t line_length);
  std::wstring text_;
};

}  // namespace vorn::regfile
