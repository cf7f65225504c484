// clsKey.Import: parse and check the whole file, then apply it while keeping
// an undo record. Keys the import creates itself need no record of their
// values: removing the key removes them.
#include "trees/import.h"

#include <algorithm>
#include <memory>
#include <string_view>
#include <vector>

#include "trees/copy_steps.h"
#include "trees/key_tree.h"
#include "automation/errors.h"
#include "regfile/parser.h"
#include "registry/paths.h"
#include "registry/root_names.h"
#include "registry/service.h"
#include "regfile/whole_file.h"

namespace vorn {

namespace {

using regfile::Operation;

// One change the import made, and what undoes it.
struct Change {
  enum Kind { kKeyCreated, kValue, kTreeDeleted };
  Change(Kind k, std::wstring p) : kind(k), path(std::move(p)) {}
  Kind kind;
  std::wstring path;        // the key, below the root
  bool existed = false;     // kValue: whether the value was there before
  registry::RawValue old;   // kValue: the value as it was
  KeyTree tree;             // kTreeDeleted: the tree as it was
};

// A key the import has open: a chain from the root down to the current
// section, so that a section below the last one costs one create.
struct OpenKey {
  std::wstring path;
  unique_hkey owned;
  HKEY handle = nullptr;
  bool fresh = false;  // created by this import, or below such a key
  // The names of its values as the registry spells them, sorted by the
  // registry's order of names (letter case ignored): read at the first
  // delete of a value that exists (see Spelled).
  std::vector<std::wstring> value_names;
  bool value_names_read = false;
};

bool NameBefore(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
         CSTR_LESS_THAN;
}

class Importer {
 public:
  Importer(LONG root, REGSAM view, const std::wstring& file) : root_(root), view_(view), file_(file) {
    root_name_ = registry::RootName(root);
  }

  void Apply(const std::vector<Operation>& operations) {
    try {
      for (const Operation& op : operations) {
        line_ = op.line;
        switch (op.kind) {
          case Operation::kKey: Section(op.path); break;
          case Operation::kDeleteKey: DeleteTree(op.path); break;
          case Operation::kSetValue: SetValue(op); break;
          case Operation::kDeleteValue: DeleteValue(op.name); break;
        }
      }
    } catch (const Error& e) {
      chain_.clear();
      int failed = Undo();
      throw Error(e.hr(), e.description() +
                              (failed ? L"; " + std::to_wstring(failed) +
                                            L" of the changes made before it could not be undone"
                                      : std::wstring(L"; every change made before it was undone")));
    } catch (...) {  // out of memory, say: undone all the same
      chain_.clear();
      Undo();
      throw;
    }
  }

 private:
  std::wstring Name(const std::wstring& path) const {
    return path.empty() ? std::wstring(root_name_) : std::wstring(root_name_) + L"\\" + path;
  }
  [[noreturn]] void Failed(LONG status, const std::wstring& what) const {
    throw Error(HRESULT_FROM_WIN32(status), file_ + L", line " + std::to_wstring(line_) + L": " + what +
                                                L" (error " + std::to_wstring(status) + L")");
  }

  void Section(const std::wstring& path) {
    while (!chain_.empty() && !paths::AtOrBelow(path, chain_.back().path)) chain_.pop_back();
    if (chain_.empty()) {
      OpenKey top;
      top.handle = registry::RootHandle(root_);
      chain_.push_back(std::move(top));
    }
    // Each missing component is created (or opened) below the last open key.
    while (chain_.back().path.size() < path.size()) {
      const OpenKey& parent = chain_.back();
      size_t start = parent.path.empty() ? 0 : parent.path.size() + 1;
      size_t end = path.find(L'\\', start);
      if (end == std::wstring::npos) end = path.size();
      OpenKey child;
      child.path = path.substr(0, end);
      bool created = false;
      if (LONG status = registry::CreateSubKey(parent.handle, path.substr(start, end - start).c_str(),
                                               MAXIMUM_ALLOWED | view_, child.owned, &created))
        Failed(status, L"the key \"" + Name(child.path) + L"\" cannot be created or opened");
      child.handle = child.owned.get();
      child.fresh = parent.fresh || created;
      if (created && !parent.fresh) changes_.emplace_back(Change::kKeyCreated, child.path);
      chain_.push_back(std::move(child));
    }
  }

  void DeleteTree(const std::wstring& path) {
    while (!chain_.empty() && paths::AtOrBelow(chain_.back().path, path)) chain_.pop_back();
    KeyTree tree;
    {
      unique_hkey key;
      LONG status = registry::OpenSubKey(registry::RootHandle(root_), path.c_str(), registry::kRead | view_, key);
      if (status == ERROR_FILE_NOT_FOUND) return;  // nothing to delete, as reg import
      if (status) Failed(status, L"the key \"" + Name(path) + L"\" cannot be opened to be deleted");
      try {
        tree = ReadTree(key.get(), Name(path), view_);
      } catch (const Error& e) {
        throw Error(e.hr(), file_ + L", line " + std::to_wstring(line_) + L": " + e.description() +
                                L", so it cannot be deleted");
      }
    }
    // Recorded first: a delete that fails part-way is rebuilt too, under
    // the name the registry gave the key, not the file's spelling of it.
    changes_.emplace_back(Change::kTreeDeleted, SpelledKey(path));
    changes_.back().tree = std::move(tree);
    if (LONG status = registry::DeleteSubTree(registry::RootHandle(root_), path.c_str(), view_))
      Failed(status, L"the key \"" + Name(path) + L"\" cannot be deleted");
  }

  // path with its last component as the registry spells it. Where the
  // parent cannot be listed, the file's spelling is the best there is.
  std::wstring SpelledKey(const std::wstring& path) const {
    const size_t slash = path.rfind(L'\\');
    const std::wstring parent = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
    const std::wstring_view name = std::wstring_view(path).substr(parent.size());
    unique_hkey key;
    std::vector<std::wstring> names;
    if (registry::OpenSubKey(registry::RootHandle(root_), parent.c_str(), registry::kRead | view_, key) ==
            registry::kSuccess &&
        registry::ReadSubKeyNames(key.get(), names) == registry::kSuccess) {
      for (const std::wstring& spelled : names)
        if (paths::SameName(spelled, name)) return parent + spelled;
    }
    return path;
  }

  // The name of a value of key as the registry spells it, for the undo of
  // its delete. The key's names are read once; a value the registry cannot
  // list keeps the file's spelling.
  static std::wstring SpelledValue(OpenKey& key, const std::wstring& name) {
    if (!key.value_names_read) {
      key.value_names_read = true;
      registry::ValueReader reader(key.handle);
      for (registry::IndexWalk walk;; walk.Next()) {
        LONG status = reader.Read(walk.Index());
        if (walk.Ends(status)) break;
        if (status == registry::kSuccess) key.value_names.emplace_back(reader.Name(), reader.NameLength());
      }
      std::sort(key.value_names.begin(), key.value_names.end(), NameBefore);
    }
    auto found = std::lower_bound(key.value_names.begin(), key.value_names.end(), name, NameBefore);
    return found != key.value_names.end() && paths::SameName(*found, name) ? *found : name;
  }

  // Records the value as it is now, unless the import created its key; the
  // record made, or null.
  Change* Remember(const std::wstring& name) {
    const OpenKey& key = chain_.back();
    if (key.fresh) return nullptr;
    Change change(Change::kValue, key.path);
    change.old.name = name;
    change.old.data.resize(512);  // a first read into no buffer would only measure
    unique_bstr bstr = MakeBstr(name.data(), static_cast<UINT>(name.size()));
    DWORD size = 0;
    LONG status = registry::QueryValue(key.handle, bstr.get(), change.old.type, change.old.data, size);
    if (status == ERROR_FILE_NOT_FOUND) {
      change.existed = false;
    } else if (status) {
      Failed(status, L"the value \"" + name + L"\" of the key \"" + Name(key.path) + L"\" cannot be read");
    } else {
      change.existed = true;
      change.old.data.resize(size);
    }
    changes_.push_back(std::move(change));
    return &changes_.back();
  }

  void SetValue(const Operation& op) {
    Remember(op.name);
    if (LONG status = registry::WriteValue(chain_.back().handle, op.name, op.type, op.data.data(), op.data.size()))
      Failed(status, L"the value \"" + op.name + L"\" of the key \"" + Name(chain_.back().path) +
                         L"\" cannot be written");
  }

  void DeleteValue(const std::wstring& name) {
    // A value that comes back comes back under the registry's spelling of
    // its name (a value written over keeps its name, so only a delete needs
    // this).
    if (Change* change = Remember(name); change && change->existed)
      change->old.name = SpelledValue(chain_.back(), name);
    unique_bstr bstr = MakeBstr(name.data(), static_cast<UINT>(name.size()));
    LONG status = registry::DeleteValue(chain_.back().handle, bstr.get());
    if (status && status != ERROR_FILE_NOT_FOUND)
      Failed(status, L"the value \"" + name + L"\" of the key \"" + Name(chain_.back().path) +
                         L"\" cannot be deleted");
  }

  // Undoes every change, last first; returns how many could not be undone.
  int Undo() noexcept {
    int failed = 0;
    HKEY root = registry::RootHandle(root_);
    for (auto change = changes_.rbegin(); change != changes_.rend(); ++change) {
      try {
        switch (change->kind) {
          case Change::kKeyCreated:
            if (LONG status = registry::DeleteSubTree(root, change->path.c_str(), view_);
                status && status != ERROR_FILE_NOT_FOUND)
              ++failed;
            break;
          case Change::kValue: {
            unique_hkey key;
            if (registry::OpenSubKey(root, change->path.c_str(), registry::kRead | registry::kWrite | view_, key)) {
              ++failed;
              break;
            }
            unique_bstr name = MakeBstr(change->old.name.data(), static_cast<UINT>(change->old.name.size()));
            LONG status = change->existed ? registry::WriteValue(key.get(), change->old)
                                          : registry::DeleteValue(key.get(), name.get());
            if (status && !(status == ERROR_FILE_NOT_FOUND && !change->existed)) ++failed;
            break;
          }
          case Change::kTreeDeleted: {
            unique_hkey key;
            if (registry::CreateSubKey(root, change->path.c_str(), registry::kRead | registry::kWrite | view_,
                                       key)) {
              ++failed;
              break;
            }
            WriteTree(key.get(), change->tree, Name(change->path), view_);
            break;
          }
        }
      } catch (...) {
        ++failed;
      }
    }
    changes_.clear();
    return failed;
  }

  LONG root_;
  REGSAM view_;
  const std::wstring& file_;
  const wchar_t* root_name_ = L"";
  int line_ = 0;
  std::vector<OpenKey> chain_;
  std::vector<Change> changes_;
};

}  // namespace

void ImportFile(const registry::KeyName& key, const std::wstring& file_name) {
  trees::RefuseZero(key);
  std::wstring file = files::FullPath(file_name);
  std::vector<Operation> operations = regfile::Parse(files::Read(file), file);

  // Confinement: every section names this key or a key below it.
  const wchar_t* root_name = registry::RootName(key.root);
  const std::wstring& base = key.path;
  std::wstring name = root_name ? std::wstring(root_name) + (base.empty() ? L"" : L"\\" + base) : L"this key";
  for (const Operation& op : operations) {
    if (op.kind != Operation::kKey && op.kind != Operation::kDeleteKey) continue;
    LONG section_root = registry::RootFromName(op.root);
    if (!section_root)
      throw Error(HRESULT_FROM_WIN32(ERROR_INVALID_DATA), file + L", line " + std::to_wstring(op.line) + L": \"" +
                                                              op.root + L"\" is not a root key name");
    if (section_root != key.root || !paths::AtOrBelow(op.path, base))
      throw Error(errors::kInvalidProcedureCall,
                  file + L", line " + std::to_wstring(op.line) + L": the key \"" +
                      registry::RootName(section_root) + (op.path.empty() ? L"" : L"\\" + op.path) +
                      L"\" lies outside " + name + L"; nothing was imported");
  }
  Importer(key.root, key.view, file).Apply(operations);
}

}  // namespace vorn
