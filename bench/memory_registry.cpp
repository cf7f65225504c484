// A binding of the registry seam to a registry held in memory, for the
// benchmark of the library's own cost: with no server in the way, what a
// load costs beyond these calls is the library's work alone. Keys and values
// are kept in the order they were created; names match without regard to
// the case of ASCII letters (the benchmark's names are ASCII). A handle is
// the address of its key; the predefined root keys are the roots. A change
// watch is signalled by a value set and a key created or deleted at or
// (with its subtree flag) below its key, once, and forgotten when it is
// signalled or its handle closed.
#include "bench/memory_registry.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

#include "registry/api.h"

namespace vorn::bench {

namespace {

std::wstring Folded(const wchar_t* name, size_t length) {
  std::wstring folded(name, length);
  for (wchar_t& c : folded)
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  return folded;
}

struct Node {
  struct Value {
    std::wstring name;
    DWORD type;
    std::string data;
  };
  Node* parent = nullptr;
  std::wstring name;
  std::vector<std::unique_ptr<Node>> children;
  std::unordered_map<std::wstring, Node*> child_index;
  std::vector<Value> values;
  std::unordered_map<std::wstring, size_t> value_index;
};

struct Watch {
  HKEY handle;
  const Node* node;
  bool subtree;
  HANDLE event;
};
std::vector<Watch>& Watches() {
  static std::vector<Watch> watches;
  return watches;
}

// Signals the watches that a change at node concerns.
void Touch(const Node* node) {
  auto& watches = Watches();
  for (size_t i = 0; i < watches.size();) {
    bool concerned = false;
    for (const Node* n = node; n && !concerned; n = n->parent)
      concerned = n == watches[i].node && (n == node || watches[i].subtree);
    if (!concerned) {
      ++i;
      continue;
    }
    ::SetEvent(watches[i].event);
    watches.erase(watches.begin() + static_cast<std::ptrdiff_t>(i));
  }
}

std::map<HKEY, Node>& Roots() {
  static std::map<HKEY, Node> roots;
  return roots;
}

Node* NodeOf(HKEY key) {
  auto root = Roots().find(key);
  if (root != Roots().end()) return &root->second;
  // Any other handle came from OpenKeyExW or CreateKeyW; the predefined
  // ones are made on first use.
  if (reinterpret_cast<ULONG_PTR>(key) >= 0x80000000 && static_cast<LONG_PTR>(reinterpret_cast<LONG_PTR>(key)) < 0)
    return &Roots()[key];
  return reinterpret_cast<Node*>(key);
}

// Walks path below key; creates what is missing when create is set.
Node* Walk(HKEY key, const wchar_t* path, bool create) {
  Node* node = key ? NodeOf(key) : nullptr;
  if (!node) return nullptr;
  for (const wchar_t* p = path ? path : L""; *p;) {
    const wchar_t* end = p;
    while (*end && *end != L'\\') ++end;
    if (end != p) {
      std::wstring folded = Folded(p, static_cast<size_t>(end - p));
      auto found = node->child_index.find(folded);
      if (found != node->child_index.end()) {
        node = found->second;
      } else if (create) {
        auto child = std::make_unique<Node>();
        child->parent = node;
        child->name.assign(p, static_cast<size_t>(end - p));
        node->child_index[folded] = child.get();
        node->children.push_back(std::move(child));
        node = node->children.back().get();
      } else {
        return nullptr;
      }
    }
    p = *end ? end + 1 : end;
  }
  return node;
}

// Copies name into the caller's buffer of *length characters.
LSTATUS GiveName(const std::wstring& name, LPWSTR buffer, LPDWORD length) {
  if (name.size() + 1 > *length) return ERROR_MORE_DATA;
  std::memcpy(buffer, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
  *length = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

}  // namespace

void Clear() {
  Watches().clear();
  Roots().clear();
}

void MakeKey(HKEY root, const std::wstring& path) { Walk(root, path.c_str(), true); }

void SetValue(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type, const void* data,
              DWORD size) {
  Node* node = Walk(root, path.c_str(), true);
  std::wstring folded = Folded(name.data(), name.size());
  std::string bytes(static_cast<const char*>(data), size);
  auto found = node->value_index.find(folded);
  if (found != node->value_index.end()) {
    node->values[found->second].type = type;
    node->values[found->second].data = std::move(bytes);
    return;
  }
  node->value_index[folded] = node->values.size();
  node->values.push_back({name, type, std::move(bytes)});
}

}  // namespace vorn::bench

namespace vorn::registry::api {

using bench::Node;

LSTATUS OpenKeyExW(HKEY root, LPCWSTR sub_key, DWORD, REGSAM, PHKEY result) {
  Node* node = bench::Walk(root, sub_key, false);
  if (!node) return ERROR_FILE_NOT_FOUND;
  *result = reinterpret_cast<HKEY>(node);
  return ERROR_SUCCESS;
}

LSTATUS CloseKey(HKEY key) {
  auto& watches = bench::Watches();
  std::erase_if(watches, [&](const bench::Watch& w) { return w.handle == key; });
  return ERROR_SUCCESS;
}

LSTATUS EnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_length, LPDWORD, LPWSTR, LPDWORD class_length,
                   PFILETIME) {
  Node* node = bench::NodeOf(key);
  if (index >= node->children.size()) return ERROR_NO_MORE_ITEMS;
  if (class_length) *class_length = 0;
  return bench::GiveName(node->children[index]->name, name, name_length);
}

// Only the counts and longest lengths that the library asks for.
LSTATUS QueryInfoKeyW(HKEY key, LPWSTR, LPDWORD class_length, LPDWORD, LPDWORD sub_keys, LPDWORD max_sub_key_length,
                      LPDWORD max_class_length, LPDWORD values, LPDWORD max_value_name_length,
                      LPDWORD max_value_length, LPDWORD security_descriptor_size, PFILETIME last_write) {
  Node* node = bench::NodeOf(key);
  if (class_length) *class_length = 0;
  if (sub_keys) *sub_keys = static_cast<DWORD>(node->children.size());
  if (max_sub_key_length) {
    size_t longest = 0;
    for (const auto& child : node->children) longest = std::max(longest, child->name.size());
    *max_sub_key_length = static_cast<DWORD>(longest);
  }
  if (max_class_length) *max_class_length = 0;
  if (values) *values = static_cast<DWORD>(node->values.size());
  if (max_value_name_length || max_value_length) {
    size_t name = 0, data = 0;
    for (const Node::Value& value : node->values)
      name = std::max(name, value.name.size()), data = std::max(data, value.data.size());
    if (max_value_name_length) *max_value_name_length = static_cast<DWORD>(name);
    if (max_value_length) *max_value_length = static_cast<DWORD>(data);
  }
  if (security_descriptor_size) *security_descriptor_size = 0;
  if (last_write) *last_write = FILETIME{};
  return ERROR_SUCCESS;
}

// A value's data as the registry hands it out: ERROR_MORE_DATA with the size
// needed when the buffer is too small.
static LSTATUS GiveData(const Node::Value& value, LPBYTE data, LPDWORD data_size) {
  DWORD size = static_cast<DWORD>(value.data.size());
  if (data && data_size && *data_size < size) {
    *data_size = size;
    return ERROR_MORE_DATA;
  }
  if (data) std::memcpy(data, value.data.data(), size);
  if (data_size) *data_size = size;
  return ERROR_SUCCESS;
}

LSTATUS EnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_length, LPDWORD, LPDWORD type, LPBYTE data,
                   LPDWORD data_size) {
  Node* node = bench::NodeOf(key);
  if (index >= node->values.size()) return ERROR_NO_MORE_ITEMS;
  const Node::Value& value = node->values[index];
  if (type) *type = value.type;
  if (LSTATUS status = bench::GiveName(value.name, name, name_length)) return status;
  return GiveData(value, data, data_size);
}

LSTATUS QueryValueExW(HKEY key, LPCWSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD data_size) {
  Node* node = bench::NodeOf(key);
  auto found = node->value_index.find(bench::Folded(name, std::wcslen(name)));
  if (found == node->value_index.end()) return ERROR_FILE_NOT_FOUND;
  const Node::Value& value = node->values[found->second];
  if (type) *type = value.type;
  return GiveData(value, data, data_size);
}

LSTATUS SetValueExW(HKEY key, LPCWSTR name, DWORD, DWORD type, const BYTE* data, DWORD data_size) {
  bench::SetValue(key, L"", name, type, data, data_size);
  bench::Touch(bench::NodeOf(key));
  return ERROR_SUCCESS;
}

LSTATUS DeleteValueW(HKEY, LPCWSTR) { return ERROR_ACCESS_DENIED; }

LSTATUS CreateKeyW(HKEY key, LPCWSTR sub_key, PHKEY result) {
  bool existed = bench::Walk(key, sub_key, false) != nullptr;
  Node* node = bench::Walk(key, sub_key, true);
  *result = reinterpret_cast<HKEY>(node);
  if (!existed) bench::Touch(node->parent);
  return ERROR_SUCCESS;
}

// Deletes a key without sub-keys by its handle.
LSTATUS DeleteOpenKey(HKEY key) {
  Node* node = bench::NodeOf(key);
  if (!node || !node->parent) return ERROR_ACCESS_DENIED;
  if (!node->children.empty()) return ERROR_ACCESS_DENIED;
  Node* parent = node->parent;
  std::erase_if(bench::Watches(), [&](const bench::Watch& w) { return w.node == node; });
  parent->child_index.erase(bench::Folded(node->name.data(), node->name.size()));
  for (auto it = parent->children.begin(); it != parent->children.end(); ++it) {
    if (it->get() == node) {
      parent->children.erase(it);
      break;
    }
  }
  bench::Touch(parent);
  return ERROR_SUCCESS;
}

// The registry in memory has one view.
LSTATUS CreateKeyExW(HKEY key, LPCWSTR sub_key, REGSAM, PHKEY result, LPDWORD disposition) {
  if (disposition)
    *disposition = bench::Walk(key, sub_key, false) ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
  return CreateKeyW(key, sub_key, result);
}

LSTATUS NotifyChangeKeyValue(HKEY key, BOOL subtree, DWORD, HANDLE event, BOOL) {
  bench::Watches().push_back({key, bench::NodeOf(key), subtree != FALSE, event});
  return ERROR_SUCCESS;
}

LSTATUS FlushKey(HKEY) { return ERROR_SUCCESS; }
// Keys in memory have no security.
LSTATUS GetKeySecurity(HKEY, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR, LPDWORD) { return ERROR_CALL_NOT_IMPLEMENTED; }
DWORD SetSecurityInfo(HKEY, SECURITY_INFORMATION, PSID, PSID, PACL, PACL) { return ERROR_CALL_NOT_IMPLEMENTED; }

// Renames a key in place; it keeps its position among its siblings.
LSTATUS RenameKeyW(HKEY key, LPCWSTR sub_key, LPCWSTR new_name) {
  Node* node = bench::Walk(key, sub_key, false);
  if (!node || !node->parent) return ERROR_FILE_NOT_FOUND;
  if (!new_name || !*new_name || std::wcschr(new_name, L'\\')) return ERROR_INVALID_PARAMETER;
  Node* parent = node->parent;
  std::wstring old_folded = bench::Folded(node->name.data(), node->name.size());
  std::wstring new_folded = bench::Folded(new_name, std::wcslen(new_name));
  auto existing = parent->child_index.find(new_folded);
  if (existing != parent->child_index.end() && existing->second != node) return ERROR_ACCESS_DENIED;
  parent->child_index.erase(old_folded);
  parent->child_index[new_folded] = node;
  node->name = new_name;
  return ERROR_SUCCESS;
}

}  // namespace vorn::registry::api
