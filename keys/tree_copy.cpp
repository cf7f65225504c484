// The key object's CopyTree and Rename: a whole tree read into memory,
// written to a new key, and removed again when anything fails part-way.
#include "keys/tree_copy.h"

#include <memory>
#include <utility>
#include <vector>

#include "keys/key_tree.h"
#include "platform/errors.h"
#include "platform/registry.h"

namespace vorn::tree_copy {

namespace {

constexpr REGSAM kReadWrite = registry::kRead | registry::kWrite;

std::wstring RootName(LONG root) {
  switch (static_cast<ULONG>(root)) {
    case 0x80000000: return L"HKEY_CLASSES_ROOT";
    case 0x80000001: return L"HKEY_CURRENT_USER";
    case 0x80000002: return L"HKEY_LOCAL_MACHINE";
    case 0x80000003: return L"HKEY_USERS";
    case 0x80000004: return L"HKEY_PERFORMANCE_DATA";
    case 0x80000005: return L"HKEY_CURRENT_CONFIG";
    case 0x80000006: return L"HKEY_DYN_DATA";
    default: {
      wchar_t text[24];
      ::wsprintfW(text, L"root 0x%08X", static_cast<ULONG>(root));
      return text;
    }
  }
}

std::wstring Join(const std::wstring& parent, const std::wstring& name) {
  return parent.empty() ? name : name.empty() ? parent : parent + L"\\" + name;
}

std::wstring FullName(LONG root, const std::wstring& path) { return Join(RootName(root), path); }
std::wstring FullName(const KeyName& key) { return FullName(key.root, key.path); }

// The path's components; empty ones (doubled backslashes) are left out.
std::vector<std::wstring> Components(const std::wstring& path) {
  std::vector<std::wstring> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(L'\\', start);
    if (end == std::wstring::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// Names compared as the registry compares them: letter case ignored.
bool SameName(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

// True when path is outer itself or lies below it, by whole components.
bool LiesInside(const std::wstring& outer, const std::wstring& path) {
  std::vector<std::wstring> o = Components(outer), p = Components(path);
  if (p.size() < o.size()) return false;
  for (size_t i = 0; i < o.size(); ++i)
    if (!SameName(o[i], p[i])) return false;
  return true;
}

[[noreturn]] void Refuse(const std::wstring& text) { throw Error(errors::kInvalidProcedureCall, text); }

[[noreturn]] void Failed(LONG status, const std::wstring& name, const wchar_t* what) {
  std::wstring text = L"The key \"" + name + L"\" ";
  text += status == ERROR_FILE_NOT_FOUND ? std::wstring(L"does not exist")
                                         : what + std::wstring(L" (error ") + std::to_wstring(status) + L")";
  throw Error(HRESULT_FROM_WIN32(status), text);
}

[[noreturn]] void Exists(const std::wstring& name) {
  throw Error(HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS), L"The key \"" + name + L"\" already exists");
}

void RefuseLostSpaces(const KeyName& key) {
  if (key.lost_spaces)
    Refuse(L"The path of the key \"" + FullName(key) +
           L"\" was given with spaces at an end, which the key object drops: it names another key than its text");
}

unique_hkey Open(HKEY parent, const std::wstring& sub, REGSAM access, const std::wstring& name) {
  unique_hkey key;
  if (LONG status = registry::OpenSubKey(parent, sub.c_str(), access, key)) Failed(status, name, L"cannot be opened");
  return key;
}

// ERROR_FILE_NOT_FOUND: false; any other failure is an error naming the key.
bool KeyExists(HKEY parent, const std::wstring& sub, REGSAM view, const std::wstring& name) {
  unique_hkey key;
  LONG status = registry::OpenSubKey(parent, sub.c_str(), registry::kRead | view, key);
  if (status == ERROR_FILE_NOT_FOUND) return false;
  if (status != registry::kSuccess) Failed(status, name, L"cannot be opened");
  return true;
}

// What a copy has created: the first key it made (below a parent that stays
// open while this lives), which is removed with everything below it unless
// the copy is kept.
class Created {
 public:
  Created(HKEY parent, std::wstring path, REGSAM view) : parent_(parent), path_(std::move(path)), view_(view) {}
  ~Created() { Remove(); }
  Created(const Created&) = delete;
  Created& operator=(const Created&) = delete;
  void Keep() noexcept { done_ = true; }
  LONG Remove() noexcept {
    if (done_) return registry::kSuccess;
    done_ = true;
    try {
      return registry::DeleteSubTree(parent_, path_.c_str(), view_);
    } catch (...) {
      return ERROR_OUTOFMEMORY;
    }
  }

 private:
  HKEY parent_;
  std::wstring path_;
  REGSAM view_;
  bool done_ = false;
};

// Rethrows the error that ended a copy, after removing what it created,
// saying so when that removal failed too.
[[noreturn]] void Undo(Created* created, const std::wstring& name) {
  LONG status = created ? created->Remove() : registry::kSuccess;
  try {
    throw;
  } catch (const Error& e) {
    if (status == registry::kSuccess) throw;
    throw Error(e.hr(), e.description() + L"; what the copy made below \"" + name +
                            L"\" could not all be removed (error " + std::to_wstring(status) + L")");
  }
}

}  // namespace

void CopyTree(const KeyName& source, const KeyName& destination) {
  RefuseLostSpaces(source);
  RefuseLostSpaces(destination);
  const std::wstring source_name = FullName(source), destination_name = FullName(destination);
  HKEY destination_root = registry::RootHandle(destination.root);
  const std::vector<std::wstring> parts = Components(destination.path);
  if (parts.empty() || KeyExists(destination_root, destination.path, destination.view, destination_name))
    Exists(destination_name);
  // The same path in two views names two keys where the registry redirects
  // it (and one, which exists, where it does not); any other destination
  // at or below the source under the same root is refused.
  bool other_view_same_path = destination.view != source.view && LiesInside(destination.path, source.path) &&
                              LiesInside(source.path, destination.path);
  if (destination.root == source.root && LiesInside(source.path, destination.path) && !other_view_same_path)
    Refuse(L"The key \"" + destination_name + L"\" lies inside the key \"" + source_name + L"\" that is copied");

  KeyTree tree;
  {
    unique_hkey key = Open(registry::RootHandle(source.root), source.path, registry::kRead | source.view,
                           source_name);
    tree = ReadTree(key.get(), source_name, source.view);
  }

  // The deepest key along the destination's path that exists, opened to
  // create below it (the root when none does); then each missing key.
  size_t existing = parts.size() - 1;
  std::wstring path;
  unique_hkey base;
  for (; existing > 0; --existing) {
    path.clear();
    for (size_t i = 0; i < existing; ++i) path = Join(path, parts[i]);
    LONG status = registry::OpenSubKey(destination_root, path.c_str(), KEY_CREATE_SUB_KEY | destination.view, base);
    if (status == registry::kSuccess) break;
    if (status != ERROR_FILE_NOT_FOUND) Failed(status, FullName(destination.root, path), L"cannot be opened");
  }
  if (existing == 0) path.clear();
  HKEY base_handle = base ? base.get() : destination_root;
  // The first key the copy makes, which takes all the others with it when
  // the copy fails.
  std::unique_ptr<Created> created;
  std::vector<unique_hkey> opened;  // each key made or opened below base
  std::wstring below_base;
  try {
    for (size_t i = existing; i < parts.size(); ++i) {
      HKEY parent = opened.empty() ? base_handle : opened.back().get();
      below_base = Join(below_base, parts[i]);
      path = Join(path, parts[i]);
      bool last = i + 1 == parts.size(), made = false;
      unique_hkey key;
      if (LONG status = registry::CreateSubKey(parent, parts[i].c_str(),
                                               (last ? kReadWrite : KEY_CREATE_SUB_KEY) | destination.view, key, &made))
        Failed(status, FullName(destination.root, path), L"cannot be created");
      opened.push_back(std::move(key));
      if (made && !created) created = std::make_unique<Created>(base_handle, below_base, destination.view);
      // Made by another writer since the check above: refused all the same.
      if (last && !made) Exists(destination_name);
    }
    WriteTree(opened.back().get(), tree, destination_name, destination.view);
  } catch (...) {
    opened.clear();  // closed before what the copy made goes
    Undo(created.get(), destination_name);
  }
  if (created) created->Keep();
}

std::wstring Rename(const KeyName& source, const std::wstring& new_name) {
  RefuseLostSpaces(source);
  const std::wstring source_name = FullName(source);
  std::vector<std::wstring> parts = Components(source.path);
  if (parts.empty()) Refuse(L"The root key \"" + source_name + L"\" cannot be renamed");
  if (new_name.empty()) Refuse(L"A key cannot be renamed to an empty name");
  if (new_name.find(L'\\') != std::wstring::npos || new_name.find(L'\0') != std::wstring::npos)
    Refuse(L"The new name \"" + new_name + L"\" of the key \"" + source_name +
           L"\" holds a backslash or the character of code 0");
  if (new_name.front() == L' ' || new_name.back() == L' ')
    Refuse(L"The new name \"" + new_name + L"\" of the key \"" + source_name +
           L"\" begins or ends with a space, which a key object's path cannot keep");

  const std::wstring old_name = parts.back();
  std::wstring parent_path;
  for (size_t i = 0; i + 1 < parts.size(); ++i) parent_path = Join(parent_path, parts[i]);
  const std::wstring new_path = Join(parent_path, new_name);
  const std::wstring new_full = FullName(source.root, new_path);
  const REGSAM view = source.view;

  unique_hkey parent = Open(registry::RootHandle(source.root), parent_path, registry::kRead | view, source_name);
  bool case_only = SameName(old_name, new_name);
  if (case_only && old_name == new_name) {
    Open(parent.get(), old_name, registry::kRead | view, source_name);  // it must exist
    return new_path;
  }
  if (!case_only && KeyExists(parent.get(), new_name, view, new_full)) Exists(new_full);

  LONG status;
  {
    unique_hkey key = Open(parent.get(), old_name, registry::kWrite | view, source_name);
    status = registry::RenameKey(key.get(), nullptr, new_name.c_str());
  }
  if (status == registry::kSuccess) return new_path;
  // A platform without RegRenameKey (or whose registry cannot rename).
  bool missing = status == ERROR_CALL_NOT_IMPLEMENTED || status == ERROR_INVALID_FUNCTION;
  if (!missing) Failed(status, source_name, (L"cannot be renamed to \"" + new_name + L"\"").c_str());
  if (case_only)
    throw Error(HRESULT_FROM_WIN32(status), L"The key \"" + source_name +
                                                L"\" cannot change only the letter case of its name on this "
                                                L"platform, which cannot rename keys");

  // Copy, then delete: the copy is complete before anything is deleted.
  parent = Open(registry::RootHandle(source.root), parent_path, kReadWrite | view, source_name);
  KeyTree tree;
  {
    unique_hkey key = Open(parent.get(), old_name, registry::kRead | view, source_name);
    tree = ReadTree(key.get(), source_name, view);
  }
  {
    bool made = false;
    unique_hkey copy;
    if (LONG created = registry::CreateSubKey(parent.get(), new_name.c_str(), kReadWrite | view, copy, &made))
      Failed(created, new_full, L"cannot be created");
    if (!made) Exists(new_full);
    Created undo(parent.get(), new_name, view);
    try {
      WriteTree(copy.get(), tree, new_full, view);
    } catch (...) {
      copy.reset();  // closed before the copy goes
      Undo(&undo, new_full);
    }
    undo.Keep();
  }
  status = registry::DeleteSubTree(parent.get(), old_name.c_str(), view);
  if (status == registry::kSuccess) return new_path;

  // The old key could be deleted only in part: it is written back whole
  // from the tree read, and then the copy goes, so that the key is as it
  // was. Should that fail too, the copy stays, holding the whole tree.
  std::wstring failure = L"The key \"" + source_name + L"\" cannot be deleted after its copy to \"" + new_name +
                         L"\" (error " + std::to_wstring(status) + L")";
  try {
    unique_hkey restored;
    if (LONG again = registry::CreateSubKey(parent.get(), old_name.c_str(), kReadWrite | view, restored))
      Failed(again, source_name, L"cannot be created");
    WriteTree(restored.get(), tree, source_name, view);
  } catch (const Error&) {
    throw Error(HRESULT_FROM_WIN32(status), failure + L"; it is left in part, and \"" + new_full +
                                                L"\" holds its whole tree");
  }
  if (LONG removed = registry::DeleteSubTree(parent.get(), new_name.c_str(), view))
    throw Error(HRESULT_FROM_WIN32(status), failure + L"; it was written back as it was, and its copy \"" +
                                                new_full + L"\" could not all be removed (error " +
                                                std::to_wstring(removed) + L")");
  throw Error(HRESULT_FROM_WIN32(status), failure + L"; it was written back as it was");
}

}  // namespace vorn::tree_copy
