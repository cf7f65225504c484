// A key tree held in memory: reading a key and everything below it from the
// registry, and writing such a tree back, with errors naming the key or
// value concerned.
#include "trees/key_tree.h"

#include "automation/errors.h"
#include "trees/walk.h"

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

// Builds the tree as the walk hands it over: each key entered becomes a
// child of the key open above it.
class TreeReader final : public trees::TreeVisitor {
 public:
  explicit TreeReader(KeyTree& tree) : tree_(tree) {}

  void Enter(const trees::TreeWalk& walk) override {
    if (open_.empty()) {
      open_.push_back(&tree_);
      return;
    }
    // Only keys that were left are moved when their parent's list grows;
    // the open ones above stay where they are.
    KeyTree& child = open_.back()->children.emplace_back();
    child.name = walk.Name();
    open_.push_back(&child);
  }
  void Value(const trees::TreeWalk&, const registry::ValueCursor& value) override {
    open_.back()->values.push_back(registry::RawValue{std::wstring(value.Name(), value.NameLength()), value.Type(),
                                                      std::vector<BYTE>(value.Data(), value.Data() + value.Size())});
  }
  void Leave(const trees::TreeWalk&) override { open_.pop_back(); }
  void Restart() override {
    tree_.values.clear();
    tree_.children.clear();
    open_.clear();
  }

 private:
  KeyTree& tree_;
  std::vector<KeyTree*> open_;
};

}  // namespace

KeyTree ReadTree(HKEY key, const std::wstring& path, REGSAM view) {
  KeyTree tree;
  tree.name = LastComponent(path);
  TreeReader reader(tree);
  trees::WalkTree(key, path, view, reader);
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
