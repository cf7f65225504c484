// A key tree held in memory: a key's values and sub-keys, all the way down,
// with exact types and bytes, as read from the registry or about to be
// written to it. Export, Import, CopyTree and Rename all move whole trees
// through this one shape.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "registry/service.h"

namespace vorn {

struct KeyTree {
  std::wstring name;  // the key's last path component
  std::vector<registry::RawValue> values;  // in the order the registry enumerates them
  std::vector<KeyTree> children;           // likewise

  KeyTree() = default;
  KeyTree(std::wstring n, std::vector<registry::RawValue> v, std::vector<KeyTree> c)
      : name(std::move(n)), values(std::move(v)), children(std::move(c)) {}
  KeyTree(const KeyTree&) = default;
  KeyTree& operator=(const KeyTree&) = default;
  KeyTree(KeyTree&&) = default;
  KeyTree& operator=(KeyTree&&) = default;
  // Takes the tree apart level by level: a tree thousands of keys deep
  // (Wine sets no limit) would overflow the stack, freed recursively.
  ~KeyTree();
};

// Reads the open key (read access, in view) and everything below it, by
// the walk of trees/walk.h (which watches the tree on key meanwhile). path
// is the key's full name, for errors: a key anywhere in the tree that cannot
// be opened or read throws vorn::Error naming that key; nothing is skipped.
KeyTree ReadTree(HKEY key, const std::wstring& path, REGSAM view);

// Writes tree's values and sub-keys, all the way down, into the open key
// (write access, in view), creating the sub-keys. path names the key in
// errors: the first write that fails throws vorn::Error naming the key or
// value. What was written before it stays; the caller decides what to undo.
void WriteTree(HKEY key, const KeyTree& tree, const std::wstring& path, REGSAM view);

}  // namespace vorn
