// The table of the predefined root keys' names.
#include "registry/root_names.h"

namespace vorn::registry {

namespace {

struct Root {
  LONG root;
  const wchar_t* name;
  const wchar_t* short_name;  // null: a .reg file cannot name this root
};
constexpr Root kRoots[] = {
    {static_cast<LONG>(0x80000000), L"HKEY_CLASSES_ROOT", L"HKCR"},
    {static_cast<LONG>(0x80000001), L"HKEY_CURRENT_USER", L"HKCU"},
    {static_cast<LONG>(0x80000002), L"HKEY_LOCAL_MACHINE", L"HKLM"},
    {static_cast<LONG>(0x80000003), L"HKEY_USERS", L"HKU"},
    {static_cast<LONG>(0x80000004), L"HKEY_PERFORMANCE_DATA", nullptr},
    {static_cast<LONG>(0x80000005), L"HKEY_CURRENT_CONFIG", L"HKCC"},
    {static_cast<LONG>(0x80000006), L"HKEY_DYN_DATA", nullptr},
};

bool Spells(std::wstring_view name, const wchar_t* word) noexcept {
  return word && ::CompareStringOrdinal(name.data(), static_cast<int>(name.size()), word, -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

LONG RootFromName(std::wstring_view name) noexcept {
  for (const Root& r : kRoots)
    if (r.short_name && (Spells(name, r.name) || Spells(name, r.short_name))) return r.root;
  return 0;
}

const wchar_t* RootName(LONG root) noexcept {
  for (const Root& r : kRoots)
    if (r.root == root && r.short_name) return r.name;
  return nullptr;
}

std::wstring KeyDisplayName(LONG root, std::wstring_view path) {
  std::wstring name;
  for (const Root& r : kRoots)
    if (r.root == root) name = r.name;
  if (name.empty()) {
    wchar_t text[24];
    ::wsprintfW(text, L"root 0x%08X", static_cast<ULONG>(root));
    name = text;
  }
  if (!path.empty()) name.append(1, L'\\').append(path);
  return name;
}

}  // namespace vorn::registry
