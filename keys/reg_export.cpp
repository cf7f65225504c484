// clsKey.Export: reads the whole tree first (a key that cannot be read is an
// error, never skipped), turns it into .reg text, and writes the file in one
// piece.
#include "keys/reg_export.h"

#include "keys/key_tree.h"
#include "platform/errors.h"
#include "platform/reg_parser.h"
#include "platform/reg_writer.h"
#include "platform/whole_file.h"

namespace vorn {

namespace {

void WriteKey(regfile::Writer& writer, const KeyTree& tree, std::wstring& path) {
  writer.Key(path);
  for (const registry::RawValue& value : tree.values) writer.Value(value);
  for (const KeyTree& child : tree.children) {
    size_t length = path.size();
    path += L'\\';
    path += child.name;
    if (!regfile::KeyNameWritable(child.name))
      throw Error(errors::kInvalidProcedureCall,
                  L"The key \"" + path + L"\" has a line break in its name, which a .reg file cannot hold");
    WriteKey(writer, child, path);
    path.resize(length);
  }
}

}  // namespace

void ExportKey(LONG root, const wchar_t* path, REGSAM view, const std::wstring& file_name, bool overwrite) {
  const wchar_t* root_name = regfile::RootName(root);
  if (!root_name)
    throw Error(errors::kInvalidProcedureCall,
                L"Only keys below HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS or "
                L"HKEY_CURRENT_CONFIG can be exported");
  std::wstring name = root_name;
  if (path && *path) name += L'\\', name += path;
  std::wstring file = files::FullPath(file_name);
  if (!overwrite) files::RefuseExisting(file);  // before the tree is read
  if (!regfile::KeyNameWritable(name))
    throw Error(errors::kInvalidProcedureCall,
                L"The key \"" + name + L"\" has a line break in its name, which a .reg file cannot hold");

  unique_hkey key;
  if (LONG status = registry::OpenSubKey(registry::RootHandle(root), path ? path : L"", registry::kRead | view, key))
    throw Error(HRESULT_FROM_WIN32(status),
                L"The key \"" + name + L"\" cannot be opened (error " + std::to_wstring(status) + L")");
  KeyTree tree = ReadTree(key.get(), name, view);
  key.reset();

  regfile::Writer writer;
  WriteKey(writer, tree, name);
  const std::wstring& text = writer.Finish();
  files::Write(file, text.data(), text.size() * sizeof(wchar_t), overwrite);
}

}  // namespace vorn
