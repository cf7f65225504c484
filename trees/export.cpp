// clsKey.Export: walks the whole tree, turning each key into .reg text as it
// is read (a key that cannot be read is an error, never skipped), and writes
// the file in one piece once the walk is complete.
#include "trees/export.h"

#include <memory>

#include "trees/key_tree.h"
#include "automation/errors.h"
#include "regfile/writer.h"
#include "registry/paths.h"
#include "registry/root_names.h"
#include "registry/service.h"
#include "regfile/whole_file.h"

namespace vorn {

namespace {

[[noreturn]] void KeyFailed(LONG status, const wchar_t* what, const std::wstring& path) {
  throw Error(HRESULT_FROM_WIN32(status),
              L"The key \"" + path + L"\" " + what + L" (error " + std::to_wstring(status) + L")");
}

// The walk reuses one value cursor and, per depth, one list of sub-key
// names for the whole tree, so that keys and values cost no allocations of
// their own beyond the text.
//
// A counted walk asks each key for its numbers of values and sub-keys first
// and reads that many of each, without the two calls that each list's end
// costs otherwise (one in seven of a walk's calls). It may be trusted only
// while nothing in the tree changed: the caller watches the tree for changes
// meanwhile and walks again, uncounted, when there were any.
class TreeWriter {
 public:
  TreeWriter(regfile::Writer& writer, REGSAM view, bool counted)
      : writer_(writer), view_(view), counted_(counted) {}

  // Writes key (open, as path) and everything below it. A key that cannot
  // be read throws at once; a name that no [key] line can hold throws only
  // once the whole tree has been read, as when the tree was read first.
  void Write(HKEY key, std::wstring& path) {
    Key(key, path, 0);
    if (!unwritable_.empty())
      throw Error(errors::kInvalidProcedureCall,
                  L"The key \"" + unwritable_ + L"\" has a line break in its name, which a .reg file cannot hold");
  }

 private:
  void Key(HKEY key, std::wstring& path, size_t depth) {
    writer_.Key(path);
    if (IsPerformanceTextKey(key)) return;
    // Uncounted, each list is read up to its end. So is a key whose counts
    // cannot be had: what fails then is the read, as in an uncounted walk.
    DWORD sub_keys = MAXDWORD, values = MAXDWORD;
    if (counted_ && registry::QueryCounts(key, sub_keys, values)) sub_keys = values = MAXDWORD;
    for (DWORD index = 0; index < values; ++index) {
      LONG status = values_.Read(key, index);
      if (status == registry::kNoMoreItems) break;
      if (status) KeyFailed(status, L"cannot be read", path);
      writer_.Value(values_.Name(), values_.NameLength(), values_.Type(), values_.Data(), values_.Size());
    }
    if (names_.size() <= depth) names_.resize(depth + 1);
    if (LONG status = registry::ReadSubKeyNames(key, names_[depth], sub_keys)) KeyFailed(status, L"cannot be read", path);
    // names_ may grow (and move its lists) below: the list is taken by index.
    for (size_t i = 0; i < names_[depth].size(); ++i) {
      const size_t length = path.size();
      path += L'\\';
      path += names_[depth][i];
      if (unwritable_.empty() && !regfile::KeyNameWritable(names_[depth][i])) unwritable_ = path;
      unique_hkey child;
      if (LONG status = registry::OpenSubKey(key, names_[depth][i].c_str(), registry::kRead | view_, child))
        KeyFailed(status, L"cannot be opened", path);
      Key(child.get(), path, depth + 1);
      path.resize(length);
    }
  }

  regfile::Writer& writer_;
  REGSAM view_;
  bool counted_;
  registry::ValueCursor values_;
  std::vector<std::vector<std::wstring>> names_;
  std::wstring unwritable_;  // the first key whose name a [key] line cannot hold
};

}  // namespace

void ExportKey(LONG root, const wchar_t* path, REGSAM view, const std::wstring& file_name, bool overwrite) {
  const wchar_t* root_name = registry::RootName(root);
  if (!root_name)
    throw Error(errors::kInvalidProcedureCall,
                L"Only keys below HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS or "
                L"HKEY_CURRENT_CONFIG can be exported");
  // The key as the registry resolves its path: a [key] line with an empty
  // component would be refused when the file is read again.
  std::wstring name = root_name;
  if (const std::wstring below = paths::Resolved(path ? path : L""); !below.empty()) name += L'\\' + below;
  std::wstring file = files::FullPath(file_name);
  if (!overwrite) files::RefuseExisting(file);  // before the tree is read
  if (!regfile::KeyNameWritable(name))
    throw Error(errors::kInvalidProcedureCall,
                L"The key \"" + name + L"\" has a line break in its name, which a .reg file cannot hold");

  unique_hkey key;
  if (LONG status = registry::OpenSubKey(registry::RootHandle(root), path ? path : L"", registry::kRead | view, key))
    throw Error(HRESULT_FROM_WIN32(status),
                L"The key \"" + name + L"\" cannot be opened (error " + std::to_wstring(status) + L")");
  // The counted walk is taken only under a watch for any change of the tree
  // (values and keys, all the way down), registered before the first read.
  // A change, or a watch that cannot be had, means a walk to the end of
  // every list.
  const std::wstring base = name;
  auto writer = std::make_unique<regfile::Writer>();
  unique_event changed(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  bool counted = changed.get() && registry::NotifyChange(key.get(), true, changed.get()) == registry::kSuccess;
  TreeWriter(*writer, view, counted).Write(key.get(), name);
  if (counted && ::WaitForSingleObject(changed.get(), 0) != WAIT_TIMEOUT) {
    writer = std::make_unique<regfile::Writer>();
    name = base;
    TreeWriter(*writer, view, false).Write(key.get(), name);
  }
  key.reset();
  const std::wstring& text = writer->Finish();
  files::Write(file, text.data(), text.size() * sizeof(wchar_t), overwrite);
}

}  // namespace vorn
