// The one walk of a key and everything below it that Export, the tree read
// behind CopyTree, Rename and Import's undo record, and Find share: depth
// first, in the order `reg query /s` lists a tree, with an explicit stack.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "registry/service.h"

namespace vorn::trees {

class TreeWalk;

// What a walk hands over, key by key: Enter, the key's values, its sub-keys
// (each entered and left in turn), then Leave.
class TreeVisitor {
 public:
  // A key is reached: walk.Path() names it, walk.Depth() is 0 for the key
  // the walk began with. A sub-key is entered before it is opened, so that
  // a key that then cannot be opened has been seen by name.
  virtual void Enter(const TreeWalk& walk) = 0;
  // One value of the key last entered; value holds its name, type and data
  // until the next value is read.
  virtual void Value(const TreeWalk& walk, const registry::ValueCursor& value) = 0;
  // The key last entered is done, with everything below it.
  virtual void Leave(const TreeWalk&) {}
  // The key last entered cannot be opened (opening) or read (status): by
  // default an error naming the key ("... cannot be opened (error n)" or
  // "... cannot be read (error n)"). When this returns instead, the walk
  // leaves the key as it is (Leave follows) and goes on after it.
  virtual void Unreadable(const TreeWalk& walk, LONG status, bool opening);
  // The tree changed while it was walked by its counts: the walk begins
  // again from the top, reading every list to its end. Whatever was handed
  // over so far is to be forgotten.
  virtual void Restart() = 0;

 protected:
  ~TreeVisitor() = default;
};

// Walks key (open with read access; path names it, as the visitor will see
// it) and everything below it, opening sub-keys in view, one handle open
// per level. Each key's numbers of values and sub-keys are asked once and
// trusted while a watch of the whole tree, registered on key before the
// first read, sees no change; when it does, or when no watch can be had,
// the tree is walked (again) reading each list to its end. Values come with
// their data from the enumeration itself. Wine's performance-text pseudo
// key (see IsPerformanceTextKey) is walked as an empty key.
void WalkTree(HKEY key, const std::wstring& path, REGSAM view, TreeVisitor& visitor);

// A watch of any change below key (values and keys, all the way down): the
// event the registry signals, or none when no watch can be had.
unique_event WatchTree(HKEY key);
// Whether the watch saw a change.
bool Signalled(const unique_event& watch) noexcept;

// Whether key is the handle Wine gives for HKLM\...\Perflib\009: a pseudo
// key whose counter texts are made on request and cannot be enumerated. It
// is walked, and exported, as an empty key, as reg export writes it.
bool IsPerformanceTextKey(HKEY key) noexcept;

// Where a walk stands, for its visitor.
class TreeWalk {
 public:
  explicit TreeWalk(REGSAM view) : view_(view) {}
  TreeWalk(const TreeWalk&) = delete;
  TreeWalk& operator=(const TreeWalk&) = delete;

  // The current key: its path (the walk's path, then "\" and each name
  // below it), its last component (empty for the first key), its depth
  // below the first key.
  const std::wstring& Path() const noexcept { return path_; }
  std::wstring_view Name() const noexcept;
  size_t Depth() const noexcept { return levels_.size() - 1; }

  // One walk from key, named path; counted, each list is read by the
  // number of entries the key reports (see WalkTree).
  void Run(HKEY key, const std::wstring& path, bool counted, TreeVisitor& visitor);

 private:
  struct Level {
    unique_hkey owned;         // null for the first key, which the caller owns
    HKEY key = nullptr;
    DWORD next_sub_key = 0;    // the index to enumerate next
    DWORD sub_keys = 0;        // how many to enumerate: the count, MAXDWORD for "to the end", 0 when done
    size_t parent_length = 0;  // the path's length before this key's name
  };
  // Reads the values of the key last entered and prepares its sub-keys.
  void ReadKey(TreeVisitor& visitor);

  REGSAM view_;
  bool counted_ = false;
  std::vector<Level> levels_;
  std::wstring path_;
  registry::ValueCursor values_;
  registry::SubKeyReader names_{nullptr};
};

}  // namespace vorn::trees
