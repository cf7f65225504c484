// The shared tree walk: an explicit stack of open keys, one per level, one
// value cursor and one sub-key reader for the whole walk, and the watch
// under which each key's counts are trusted.
#include "trees/walk.h"

#include "automation/errors.h"

namespace vorn::trees {

void TreeVisitor::Unreadable(const TreeWalk& walk, LONG status, bool opening) {
  throw Error(HRESULT_FROM_WIN32(status), L"The key \"" + walk.Path() + L"\" " +
                                              (opening ? L"cannot be opened" : L"cannot be read") + L" (error " +
                                              std::to_wstring(status) + L")");
}

// Wine opens that key as HKEY_PERFORMANCE_TEXT or _NLSTEXT.
bool IsPerformanceTextKey(HKEY key) noexcept {
  auto value = static_cast<ULONG>(reinterpret_cast<ULONG_PTR>(key));
  return value == 0x80000050u || value == 0x80000060u;
}

std::wstring_view TreeWalk::Name() const noexcept {
  if (levels_.size() < 2) return {};
  size_t parent = levels_.back().parent_length;
  size_t start = parent ? parent + 1 : 0;  // below an empty path there is no "\"
  return std::wstring_view(path_).substr(start);
}

void TreeWalk::ReadKey(TreeVisitor& visitor) {
  Level& level = levels_.back();
  level.sub_keys = 0;
  if (IsPerformanceTextKey(level.key)) return;
  // Uncounted, each list is read up to its end. So is a key whose counts
  // cannot be had: what fails then is the read, as in an uncounted walk.
  DWORD sub_keys = MAXDWORD, values = MAXDWORD;
  if (counted_ && registry::QueryCounts(level.key, sub_keys, values)) sub_keys = values = MAXDWORD;
  // (The visitor sees the walk only through its const accessors: level
  // stays where it is.)
  for (DWORD index = 0; index < values; ++index) {
    LONG status = values_.Read(level.key, index);
    if (status == registry::kNoMoreItems) break;
    if (status) return visitor.Unreadable(*this, status, false);
    visitor.Value(*this, values_);
  }
  level.sub_keys = sub_keys;
}

void TreeWalk::Run(HKEY key, const std::wstring& path, bool counted, TreeVisitor& visitor) {
  counted_ = counted;
  levels_.clear();
  path_ = path;
  levels_.emplace_back().key = key;
  levels_.back().parent_length = path_.size();
  visitor.Enter(*this);
  ReadKey(visitor);
  while (!levels_.empty()) {
    const size_t top = levels_.size() - 1;
    if (levels_[top].next_sub_key >= levels_[top].sub_keys) {
      visitor.Leave(*this);
      if (top > 0) path_.resize(levels_[top].parent_length);
      levels_.pop_back();
      continue;
    }
    names_.Aim(levels_[top].key);
    LONG status = names_.Read(levels_[top].next_sub_key);
    if (status == registry::kNoMoreItems) {
      levels_[top].sub_keys = 0;
      continue;
    }
    if (status) {
      levels_[top].sub_keys = 0;  // the rest of this key is left out, if the visitor goes on
      visitor.Unreadable(*this, status, false);
      continue;
    }
    ++levels_[top].next_sub_key;
    Level& child = levels_.emplace_back();
    child.parent_length = path_.size();
    if (!path_.empty()) path_ += L'\\';
    path_.append(names_.NameUnits(), names_.NameLength());
    visitor.Enter(*this);
    // A name with the character of code 0 in it is refused, not opened as
    // the other key its text spells up to there.
    if ((status = registry::OpenSubKey(levels_[top].key, names_.NameUnits(), names_.NameLength(),
                                       registry::kRead | view_, child.owned))) {
      visitor.Unreadable(*this, status, true);
      continue;  // sub_keys is 0: the key is left at once
    }
    child.key = child.owned.get();
    ReadKey(visitor);
  }
}

unique_event WatchTree(HKEY key) {
  unique_event changed(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (changed && registry::NotifyChange(key, true, changed.get()) != registry::kSuccess) changed.reset();
  return changed;
}

bool Signalled(const unique_event& watch) noexcept { return ::WaitForSingleObject(watch.get(), 0) != WAIT_TIMEOUT; }

void WalkTree(HKEY key, const std::wstring& path, REGSAM view, TreeVisitor& visitor) {
  // The counts are taken only under a watch, registered before the first
  // read. A change, or a watch that cannot be had, means a walk to the end
  // of every list.
  unique_event changed = WatchTree(key);
  const bool counted = changed.valid();
  TreeWalk walk(view);
  walk.Run(key, path, counted, visitor);
  if (counted && Signalled(changed)) {
    visitor.Restart();
    walk.Run(key, path, false, visitor);
  }
}

}  // namespace vorn::trees
