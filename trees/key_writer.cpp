// KeyWriter: the creates and writes of a tree, with the failure texts that
// the whole-tree operations give.
#include "trees/key_writer.h"

#include "automation/errors.h"
#include "registry/service.h"

namespace vorn::trees {

void KeyWriter::Enter(std::wstring_view name) {
  HKEY parent = open_.empty() ? top_ : open_.back().get();
  lengths_.push_back(path_.size());
  path_ += L'\\';
  path_ += name;
  unique_hkey key;
  if (LONG status = registry::CreateSubKey(parent, name.data(), registry::kRead | registry::kWrite | view_, key))
    throw Error(HRESULT_FROM_WIN32(status),
                L"The key \"" + path_ + L"\" cannot be created (error " + std::to_wstring(status) + L")");
  open_.push_back(std::move(key));
}

void KeyWriter::Value(std::wstring_view name, DWORD type, const BYTE* data, size_t size) {
  HKEY key = open_.empty() ? top_ : open_.back().get();
  if (LONG status = registry::WriteValue(key, name.data(), name.size(), type, data, size))
    throw Error(HRESULT_FROM_WIN32(status), L"The value \"" + std::wstring(name) + L"\" of the key \"" + path_ +
                                                L"\" cannot be written (error " + std::to_wstring(status) + L")");
}

void KeyWriter::Leave() {
  open_.pop_back();
  path_.resize(lengths_.back());
  lengths_.pop_back();
}

}  // namespace vorn::trees
