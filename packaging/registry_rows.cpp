// registry_rows: writes the installer packages' registry rows as WiX include
// files, from the very list of entries that DllRegisterServer writes, so the
// packages cannot register anything the module itself would not.
//
// Usage: registry_rows <output directory>
//
// The keys under CLSID and Interface exist once per registry view on 64-bit
// Windows; the ProgIDs and TypeLib are shared by both views. A package that
// carries both modules must own each shared value once, so the rows are
// split:
//   registry-win32.wxi         per-view rows of the 32-bit module
//   registry-win64.wxi         per-view rows of the 64-bit module
//   registry-shared-win32.wxi  shared rows when only the 32-bit module is installed
//   registry-shared-both.wxi   shared rows when both are (both TypeLib platform keys)
// The module path is written as [#VornRegistry32] or [#VornRegistry64], the
// installed file of that Id. A shared file's first row is its component's
// key path.

#include <windows.h>

#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "packaging/generated_text.h"
#include "server/registration.h"

namespace {

using vorn::server::RegistrationEntry;

// Stands for the module path while the entries are made; never a real path.
constexpr wchar_t kModuleMark[] = L"\x01module\x01";

struct Module {
  bool win64;
  const wchar_t* file_id;
};
constexpr Module kModule32{false, L"VornRegistry32"};
constexpr Module kModule64{true, L"VornRegistry64"};

bool IsPerView(const std::wstring& path) {
  const std::wstring first = path.substr(0, path.find(L'\\'));
  return _wcsicmp(first.c_str(), L"CLSID") == 0 || _wcsicmp(first.c_str(), L"Interface") == 0;
}

// Literal text in a formatted column: brackets would name properties.
// Then XML attribute escaping.
std::wstring Literal(const std::wstring& text) {
  if (text.find(kModuleMark) != std::wstring::npos) throw std::runtime_error("module path inside a longer value");
  std::wstring out;
  for (wchar_t c : text) {
    switch (c) {
      case L'[': out += L"[\\[]"; break;
      case L']': out += L"[\\]]"; break;
      default: out += c;
    }
  }
  return vorn::packaging::XmlEscaped(out);
}

struct Row {
  std::wstring key;
  std::wstring name;
  std::wstring value;  // already in formatted form
};

std::vector<Row> RowsOf(const Module& module, bool per_view) {
  std::vector<Row> rows;
  for (const RegistrationEntry& entry : vorn::server::RegistrationEntries(kModuleMark, module.win64)) {
    if (IsPerView(entry.path) != per_view) continue;
    std::wstring value = entry.text == kModuleMark ? L"[#" + std::wstring(module.file_id) + L"]" : Literal(entry.text);
    rows.push_back({Literal(entry.path), Literal(entry.name), std::move(value)});
  }
  return rows;
}

// The shared rows of several modules, each value once. Two modules that
// disagree on a shared value cannot be installed side by side.
std::vector<Row> SharedRows(const std::vector<Module>& modules) {
  std::vector<Row> rows;
  std::map<std::pair<std::wstring, std::wstring>, std::wstring> seen;
  for (const Module& module : modules) {
    for (Row& row : RowsOf(module, false)) {
      auto [at, added] = seen.emplace(std::make_pair(row.key, row.name), row.value);
      if (!added && at->second != row.value) throw std::runtime_error("the modules disagree on a shared value");
      if (added) rows.push_back(std::move(row));
    }
  }
  return rows;
}

void Write(const std::string& directory, const char* file, const std::vector<Row>& rows, bool first_is_key_path) {
  std::string text =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
      "<!-- Written by registry_rows from the module's registration entries. Do not edit. -->\n"
      "<Include>\n";
  bool key_path = first_is_key_path;
  for (const Row& row : rows) {
    std::wstring line = L"  <RegistryValue Root=\"HKCR\" Key=\"" + row.key + L"\"";
    if (!row.name.empty()) line += L" Name=\"" + row.name + L"\"";
    line += L" Type=\"string\" Value=\"" + row.value + L"\"";
    if (key_path) line += L" KeyPath=\"yes\"";
    key_path = false;
    text += vorn::packaging::Utf8(line + L" />\n");
  }
  text += "</Include>\n";

  vorn::packaging::WriteWholeFile(directory + "\\" + file, text);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: registry_rows <output directory>\n");
    return 2;
  }
  try {
    Write(argv[1], "registry-win32.wxi", RowsOf(kModule32, true), false);
    Write(argv[1], "registry-win64.wxi", RowsOf(kModule64, true), false);
    Write(argv[1], "registry-shared-win32.wxi", SharedRows({kModule32}), true);
    Write(argv[1], "registry-shared-both.wxi", SharedRows({kModule32, kModule64}), true);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "registry_rows: %s\n", error.what());
    return 1;
  }
  return 0;
}
