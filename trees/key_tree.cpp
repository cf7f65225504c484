// A key tree held in memory: reading a key and everything below it from the
// registry, and writing such a tree back, with errors naming the key or
// value concerned.
#include "trees/key_tree.h"

#include "registry/paths.h"
#include "trees/key_writer.h"
#include "trees/walk.h"

namespace vorn {

namespace {

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

KeyTree::~KeyTree() {
  std::vector<KeyTree> pending = std::move(children);
  while (!pending.empty()) {
    KeyTree last = std::move(pending.back());
    pending.pop_back();
    for (KeyTree& child : last.children) pending.push_back(std::move(child));
    last.children.clear();  // moved from: last goes without going down
  }
}

KeyTree ReadTree(HKEY key, const std::wstring& path, REGSAM view) {
  KeyTree tree;
  tree.name = path.substr(paths::LastComponentStart(path.data(), static_cast<UINT>(path.size())));
  TreeReader reader(tree);
  trees::WalkTree(key, path, view, reader);
  return tree;
}

void WriteTree(HKEY key, const KeyTree& tree, const std::wstring& path, REGSAM view) {
  // Depth first with a stack of its own, as the walk reads: a tree may be
  // as deep as the registry allows.
  trees::KeyWriter writer(key, path, view);
  struct Step {
    const KeyTree* node;
    size_t next_child;
  };
  std::vector<Step> steps{{&tree, 0}};
  for (const registry::RawValue& value : tree.values)
    writer.Value(value.name, value.type, value.data.data(), value.data.size());
  while (!steps.empty()) {
    Step& step = steps.back();
    if (step.next_child == step.node->children.size()) {
      steps.pop_back();
      if (!steps.empty()) writer.Leave();
      continue;
    }
    const KeyTree& child = step.node->children[step.next_child++];
    writer.Enter(child.name);
    for (const registry::RawValue& value : child.values)
      writer.Value(value.name, value.type, value.data.data(), value.data.size());
    steps.push_back({&child, 0});
  }
}

}  // namespace vorn
