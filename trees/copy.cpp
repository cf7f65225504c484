// CopyTree: a whole tree written to a new key as it is read (or read into
// memory first, when it changes meanwhile), and removed again when anything
// fails part-way.
#include "trees/copy.h"

#include <memory>
#include <vector>

#include "automation/errors.h"
#include "registry/paths.h"
#include "registry/root_names.h"
#include "trees/key_tree.h"
#include "trees/key_writer.h"
#include "trees/walk.h"

namespace vorn::trees {

namespace {

// Writes each key and value into the copy as the walk reads them.
class CopyWriter final : public TreeVisitor {
 public:
  CopyWriter(HKEY copy, const std::wstring& name, REGSAM view) : writer_(copy, name, view) {}
  void Enter(const TreeWalk& walk) override {
    if (walk.Depth() > 0) writer_.Enter(walk.Name());
  }
  void Value(const TreeWalk&, const registry::ValueCursor& value) override {
    writer_.Value({value.Name(), value.NameLength()}, value.Type(), value.Data(), value.Size());
  }
  void Leave(const TreeWalk& walk) override {
    if (walk.Depth() > 0) writer_.Leave();
  }
  // One counted walk only: CopyTree checks the watch itself.
  void Restart() override {}

 private:
  KeyWriter writer_;
};

// What a copy made: the first key it created (which takes all the others
// with it: removed unless kept), below base, which stays open while it may
// be removed, and the destination key, open to be filled.
struct Made {
  unique_hkey base;
  std::unique_ptr<Created> created;
  unique_hkey copy;
};

// Creates the keys missing along the destination's path, the last one
// always; when that fails, what was made is removed.
Made MakeDestination(const KeyName& destination, const std::wstring& destination_name) {
  HKEY destination_root = registry::RootHandle(destination.root);
  const std::vector<std::wstring> parts = paths::Components(destination.path);
  // The deepest key along the destination's path that exists, opened to
  // create below it (the root when none does); then each missing key.
  size_t existing = parts.size() - 1;
  std::wstring path;
  Made made;
  for (; existing > 0; --existing) {
    path.clear();
    for (size_t i = 0; i < existing; ++i) path = paths::Join(path, parts[i]);
    LONG status =
        registry::OpenSubKey(destination_root, path.c_str(), KEY_CREATE_SUB_KEY | destination.view, made.base);
    if (status == registry::kSuccess) break;
    if (status != ERROR_FILE_NOT_FOUND) Failed(status, registry::KeyDisplayName(destination.root, path), L"cannot be opened");
  }
  if (existing == 0) path.clear();
  HKEY base_handle = made.base ? made.base.get() : destination_root;
  std::vector<unique_hkey> opened;  // each key made or opened below base
  std::wstring below_base;
  try {
    for (size_t i = existing; i < parts.size(); ++i) {
      HKEY parent = opened.empty() ? base_handle : opened.back().get();
      below_base = paths::Join(below_base, parts[i]);
      path = paths::Join(path, parts[i]);
      bool last = i + 1 == parts.size(), fresh = false;
      unique_hkey key;
      if (LONG status = registry::CreateSubKey(parent, parts[i].c_str(),
                                               (last ? kReadWrite : KEY_CREATE_SUB_KEY) | destination.view, key, &fresh))
        Failed(status, registry::KeyDisplayName(destination.root, path), L"cannot be created");
      opened.push_back(std::move(key));
      if (fresh && !made.created) made.created = std::make_unique<Created>(base_handle, below_base, destination.view);
      // Made by another writer since the check above: refused all the same.
      if (last && !fresh) Exists(destination_name);
    }
  } catch (...) {
    opened.clear();  // closed before what the copy made goes
    Undo(made.created.get(), destination_name);
  }
  made.copy = std::move(opened.back());
  return made;
}

}  // namespace

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

  // Written as it is read, each key's lists by their counts, under a watch
  // of the whole source; should anything in it change meanwhile (or no
  // watch be had), the copy is removed, and the source read whole and then
  // written. Writing as it reads needs no tree in memory; reading first
  // is safe also when the copy lands inside the source by way of another
  // view, whose writes the watch then sees.
  HKEY source_root = registry::RootHandle(source.root);
  {
    unique_hkey key = Open(source_root, source.path, registry::kRead | source.view, source_name);
    if (unique_event changed = WatchTree(key.get())) {
      Made made = MakeDestination(destination, destination_name);
      // A copy inside the source (by way of a link or another view) has
      // signalled the watch as its first key was made: it is never walked.
      bool whole = false;
      try {
        if (!Signalled(changed)) {
          CopyWriter writer(made.copy.get(), destination_name, destination.view);
          TreeWalk(source.view).Run(key.get(), source_name, true, writer);
          whole = !Signalled(changed);
        }
      } catch (...) {
        if (!Signalled(changed)) {  // a failure of its own, not of a change
          made.copy.reset();
          Undo(made.created.get(), destination_name);
        }
      }
      if (whole) {
        made.created->Keep();
        return;
      }
      made.copy.reset();
      if (LONG status = made.created->Remove())
        throw Error(HRESULT_FROM_WIN32(status), L"The key \"" + source_name + L"\" changed while it was copied to \"" +
                                                    destination_name + L"\", and the copy could not all be removed (error " +
                                                    std::to_wstring(status) + L")");
    }
  }
  KeyTree tree;
  {
    unique_hkey key = Open(source_root, source.path, registry::kRead | source.view, source_name);
    tree = ReadTree(key.get(), source_name, source.view);
  }
  Made made = MakeDestination(destination, destination_name);
  try {
    WriteTree(made.copy.get(), tree, destination_name, destination.view);
  } catch (...) {
    made.copy.reset();  // closed before it goes
    Undo(made.created.get(), destination_name);
  }
  made.created->Keep();
}

}  // namespace vorn::trees
