// Rename: RegRenameKey where the platform has it; otherwise a complete copy
// under the new name, then the delete of the old key, with the old key
// written back from memory when that delete fails part-way.
#include "trees/rename.h"

#include <vector>

#include "automation/errors.h"
#include "registry/paths.h"
#include "registry/root_names.h"
#include "trees/key_tree.h"

namespace vorn::trees {

std::wstring Rename(const KeyName& source, const std::wstring& new_name) {
  RefuseLostSpaces(source);
  const std::wstring source_name = FullName(source);
  std::vector<std::wstring> parts = paths::Components(source.path);
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
  for (size_t i = 0; i + 1 < parts.size(); ++i) parent_path = paths::Join(parent_path, parts[i]);
  const std::wstring new_path = paths::Join(parent_path, new_name);
  const std::wstring new_full = registry::KeyDisplayName(source.root, new_path);
  const REGSAM view = source.view;

  unique_hkey parent = Open(registry::RootHandle(source.root), parent_path, registry::kRead | view, source_name);
  bool case_only = paths::SameName(old_name, new_name);
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

}  // namespace vorn::trees
