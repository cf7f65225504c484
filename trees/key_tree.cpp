// A key tree held in memory: reading a key and everything below it from the
// registry, and writing such a tree back, with errors naming the key or
// value concerned.
#include "trees/key_tree.h"

#include "automation/errors.h"

namespace vorn {

namespace {

std::wstring LastComponent(const std::wstring& path) {
  size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

[[noreturn]] void KeyFailed(LONG status, const wchar_t* what, const std::wstring& path) {
  throw Error(HRESULT_FROM_WIN32(status),
              L"The key \"" + path + L"\" " + what + L" (error " + std::to_wstring(status) + L")");
}

void ReadInto(KeyTree& tree, HKEY key, const std::wstring& path, REGSAM view) {
  if (IsPerformanceTextKey(key)) return;
  if (LONG status = registry::ReadValues(key, tree.values)) KeyFailed(status, L"cannot be read", path);
  std::vector<std::wstring> names;
  if (LONG status = registry::ReadSubKeyNames(key, names)) KeyFailed(status, L"cannot be read", path);
  tree.children.resize(names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    KeyTree& child = tree.children[i];
    child.name = std::move(names[i]);
    std::wstring child_path = path + L"\\" + child.name;
    unique_hkey child_key;
    if (LONG status = registry::OpenSubKey(key, child.name.c_str(), registry::kRead | view, child_key))
      KeyFailed(status, L"cannot be opened", child_path);
    ReadInto(child, child_key.get(), child_path, view);
  }
}

}  // namespace

// Wine opens that key as HKEY_PERFORMANCE_TEXT or _NLSTEXT.
bool IsPerformanceTextKey(HKEY key) noexcept {
  auto value = static_cast<ULONG>(reinterpret_cast<ULONG_PTR>(key));
  return value == 0x80000050u || value == 0x80000060u;
}

KeyTree ReadTree(HKEY key, const std::wstring& path, REGSAM view) {
  KeyTree tree;
  tree.name = LastComponent(path);
  ReadInto(tree, key, path, view);
  return tree;
}

void WriteTree(HKEY key, const KeyTree& tree, const std::wstring& path, REGSAM view) {
  for (const registry::RawValue& value : tree.values) {
    if (LONG status = registry::WriteValue(key, value)) {
      throw Error(HRESULT_FROM_WIN32(status), L"The value \"" + value.name + L"\" of the key \"" + path +
                                                  L"\" cannot be written (error " + std::to_wstring(status) + L")");
    }
  }
  for (const KeyTree& child : tree.children) {
    std::wstring child_path = path + L"\\" + child.name;
    unique_hkey child_key;
    if (LONG status = registry::CreateSubKey(key, child.name.c_str(), registry::kRead | registry::kWrite | view,
                                             child_key))
      KeyFailed(status, L"cannot be created", child_path);
    WriteTree(child_key.get(), child, child_path, view);
  }
}

}  // namespace vorn
