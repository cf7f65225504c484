// clsKey.Export: walks the whole tree, turning each key into .reg text as it
// is read (a key that cannot be read is an error, never skipped), and writes
// the file in one piece once the walk is complete.
#include "trees/export.h"

#include <memory>

#include "automation/errors.h"
#include "regfile/writer.h"
#include "registry/paths.h"
#include "registry/root_names.h"
#include "registry/service.h"
#include "regfile/whole_file.h"
#include "trees/copy_steps.h"
#include "trees/walk.h"

namespace vorn {

namespace {

// Turns each key into .reg text as the walk (trees/walk.h) hands it over;
// a key that cannot be read is an error, as the walk makes it by default.
class TreeWriter final : public trees::TreeVisitor {
 public:
  TreeWriter() : writer_(std::make_unique<regfile::Writer>()) {}

  // The text, once the walk is done. A name that no [key] line can hold
  // throws only then, once the whole tree has been read, as when the tree
  // was read first.
  const std::wstring& Finish() {
    if (!unwritable_.empty())
      throw Error(errors::kInvalidProcedureCall,
                  L"The key \"" + unwritable_ + L"\" has a line break in its name, which a .reg file cannot hold");
    return writer_->Finish();
  }

  void Enter(const trees::TreeWalk& walk) override {
    if (walk.Depth() > 0 && unwritable_.empty() && !regfile::KeyNameWritable(walk.Name()))
      unwritable_ = walk.Path();
    writer_->Key(walk.Path());
  }
  void Value(const trees::TreeWalk&, const registry::ValueCursor& value) override {
    writer_->Value(value.Name(), value.NameLength(), value.Type(), value.Data(), value.Size());
  }
  void Restart() override {
    writer_ = std::make_unique<regfile::Writer>();
    unwritable_.clear();
  }

 private:
  std::unique_ptr<regfile::Writer> writer_;
  std::wstring unwritable_;  // the first key whose name a [key] line cannot hold
};

}  // namespace

void ExportKey(const registry::KeyName& key_name, const std::wstring& file_name, bool overwrite) {
  trees::RefuseZero(key_name);
  const wchar_t* root_name = registry::RootName(key_name.root);
  if (!root_name)
    throw Error(errors::kInvalidProcedureCall,
                L"Only keys below HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS or "
                L"HKEY_CURRENT_CONFIG can be exported");
  // The key as the registry resolves its path: a [key] line with an empty
  // component would be refused when the file is read again.
  std::wstring name = root_name;
  if (const std::wstring below = paths::Resolved(key_name.path); !below.empty()) name += L'\\' + below;
  std::wstring file = files::FullPath(file_name);
  if (!overwrite) files::RefuseExisting(file);  // before the tree is read
  if (!regfile::KeyNameWritable(name))
    throw Error(errors::kInvalidProcedureCall,
                L"The key \"" + name + L"\" has a line break in its name, which a .reg file cannot hold");

  unique_hkey key;
  if (LONG status = registry::OpenSubKey(registry::RootHandle(key_name.root), key_name.path.c_str(),
                                         registry::kRead | key_name.view, key))
    throw Error(HRESULT_FROM_WIN32(status),
                L"The key \"" + name + L"\" cannot be opened (error " + std::to_wstring(status) + L")");
  TreeWriter writer;
  trees::WalkTree(key.get(), name, key_name.view, writer);
  key.reset();
  const std::wstring& text = writer.Finish();
  files::Write(file, text.data(), text.size() * sizeof(wchar_t), overwrite);
}

}  // namespace vorn
