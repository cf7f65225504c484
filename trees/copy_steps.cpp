// The shared pieces of the whole-tree operations: refusals, opens and the
// removal of a half-made copy.
#include "trees/copy_steps.h"

#include "automation/errors.h"
#include "registry/root_names.h"

namespace vorn::trees {

[[noreturn]] void Refuse(const std::wstring& text) { throw Error(errors::kInvalidProcedureCall, text); }

[[noreturn]] void Failed(LONG status, const std::wstring& name, const wchar_t* what) {
  std::wstring text = L"The key \"" + name + L"\" ";
  text += status == ERROR_FILE_NOT_FOUND ? std::wstring(L"does not exist")
                                         : what + std::wstring(L" (error ") + std::to_wstring(status) + L")";
  throw Error(HRESULT_FROM_WIN32(status), text);
}

[[noreturn]] void Exists(const std::wstring& name) {
  throw Error(HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS), L"The key \"" + name + L"\" already exists");
}

void RefuseZero(const KeyName& key) {
  if (key.path.find(L'\0') != std::wstring::npos)
    Refuse(L"The path of the key \"" + FullName(key) + L"\" holds the character of code 0, which no key name holds");
}

void RefuseLostSpaces(const KeyName& key) {
  RefuseZero(key);
  if (key.lost_spaces)
    Refuse(L"The path of the key \"" + FullName(key) +
           L"\" was given with spaces at an end, which the key object drops: it names another key than its text");
}

unique_hkey Open(HKEY parent, const std::wstring& sub, REGSAM access, const std::wstring& name) {
  unique_hkey key;
  if (LONG status = registry::OpenSubKey(parent, sub.c_str(), access, key)) Failed(status, name, L"cannot be opened");
  return key;
}

bool KeyExists(HKEY parent, const std::wstring& sub, REGSAM view, const std::wstring& name) {
  unique_hkey key;
  LONG status = registry::OpenSubKey(parent, sub.c_str(), registry::kRead | view, key);
  if (status == ERROR_FILE_NOT_FOUND) return false;
  if (status != registry::kSuccess) Failed(status, name, L"cannot be opened");
  return true;
}

LONG Created::Remove() noexcept {
  if (done_) return registry::kSuccess;
  done_ = true;
  try {
    return registry::DeleteSubTree(parent_, path_.c_str(), view_);
  } catch (...) {
    return ERROR_OUTOFMEMORY;
  }
}

[[noreturn]] void Undo(Created* created, const std::wstring& name) {
  LONG status = created ? created->Remove() : registry::kSuccess;
  try {
    throw;
  } catch (const Error& e) {
    if (status == registry::kSuccess) throw;
    throw Error(e.hr(), e.description() + L"; what the copy made below \"" + name +
                            L"\" could not all be removed (error " + std::to_wstring(status) + L")");
  }
}

}  // namespace vorn::trees
