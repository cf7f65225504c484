// Reads the whole text of a .reg file into a list of operations, checking
// every line first: no registry calls. It accepts what Wine's `reg import`
// reads (both headers, comments, continuation lines, spaces around "=",
// dword:, hex:, hex(N):, @, [-key], "name"=-, long and short root names);
// a line that `reg import` would skip or misread is refused instead.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace vorn::regfile {

struct Operation {
  enum Kind { kKey, kDeleteKey, kSetValue, kDeleteValue };
  Kind kind = kKey;
  int line = 0;          // where the line (its first line, when continued) is
  // kKey, kDeleteKey: the root key's name and the path below it (empty for
  // the root itself), as written; components are never empty. Which names
  // stand for roots is for the caller to decide.
  std::wstring root;
  std::wstring path;
  // kSetValue, kDeleteValue: the value name ("" for the default value), its
  // type and exact data, for the key of the last kKey before it.
  std::wstring name;
  DWORD type = 0;
  std::vector<BYTE> data;
};

// Parses the file's bytes: version 5.00 in UTF-16LE with its byte order
// mark, or REGEDIT4 in the system's code page. A malformed line anywhere
// throws vorn::Error (0x8007000D) whose description is "<file>, line <n>:
// <what is wrong>".
std::vector<Operation> Parse(const std::vector<BYTE>& bytes, const std::wstring& file);

}  // namespace vorn::regfile
