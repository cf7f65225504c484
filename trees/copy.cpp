// CopyTree: a whole tree read into memory, written to a new key, and
// removed again when anything fails part-way.
#include "trees/copy.h"

#include <memory>
#include <vector>

#include "automation/errors.h"
#include "registry/paths.h"
#include "registry/root_names.h"
#include "trees/key_tree.h"

namespace vorn::trees {

void CopyTree(const KeyName& source, const KeyName& destination) {
  RefuseLostSpaces(source);
  RefuseLostSpaces(destination);
  const std::wstring source_name = FullName(source), destination_name = FullName(destination);
  HKEY destination_root = registry::RootHandle(destination.root);
  const std::vector<std::wstring> parts = paths::Components(destination.path);
  if (parts.empty() || KeyExists(destination_root, destination.path, destination.view, destination_name))
    Exists(destination_name);
  // The same path in two views names two keys where the registry redirects
  // it (and one, which exists, where it does not); any other destination
  // at or below the source under the same root is refused.
  bool other_view_same_path = destination.view != source.view && paths::AtOrBelow(source.path, destination.path) &&
                              paths::AtOrBelow(destination.path, source.path);
  if (destination.root == source.root && paths::AtOrBelow(destination.path, source.path) && !other_view_same_path)
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
    for (size_t i = 0; i < existing; ++i) path = paths::Join(path, parts[i]);
    LONG status = registry::OpenSubKey(destination_root, path.c_str(), KEY_CREATE_SUB_KEY | destination.view, base);
    if (status == registry::kSuccess) break;
    if (status != ERROR_FILE_NOT_FOUND) Failed(status, registry::KeyDisplayName(destination.root, path), L"cannot be opened");
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
      below_base = paths::Join(below_base, parts[i]);
      path = paths::Join(path, parts[i]);
      bool last = i + 1 == parts.size(), made = false;
      unique_hkey key;
      if (LONG status = registry::CreateSubKey(parent, parts[i].c_str(),
                                               (last ? kReadWrite : KEY_CREATE_SUB_KEY) | destination.view, key, &made))
        Failed(status, registry::KeyDisplayName(destination.root, path), L"cannot be created");
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

}  // namespace vorn::trees
