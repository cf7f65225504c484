// A private key HKCU\Software\VornRegistryTests\<unique> for one test,
// written and read with the wide registry functions directly (not through the
// library), and deleted with everything below it at the end.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace vorn::test {

class ScratchKey {
 public:
  ScratchKey();
  ~ScratchKey();
  ScratchKey(const ScratchKey&) = delete;
  ScratchKey& operator=(const ScratchKey&) = delete;

  static constexpr LONG kRoot = static_cast<LONG>(0x80000001);  // HKEY_CURRENT_USER
  // Path below HKEY_CURRENT_USER, without a trailing backslash.
  const std::wstring& Path() const { return path_; }
  // Path + "\" + sub (or Path when sub is empty).
  std::wstring Below(const std::wstring& sub) const;

  void CreateKey(const std::wstring& sub) const;
  bool KeyExists(const std::wstring& sub) const;
  void SetString(const std::wstring& sub, const std::wstring& name, const std::wstring& text) const;
  void SetDword(const std::wstring& sub, const std::wstring& name, DWORD data) const;
  // Raw bytes of any type, with any length.
  void SetRaw(const std::wstring& sub, const std::wstring& name, DWORD type, const void* data, DWORD size) const;
  bool ValueExists(const std::wstring& sub, const std::wstring& name) const;
  // Type and raw bytes of a value; false when it does not exist.
  bool ReadRaw(const std::wstring& sub, const std::wstring& name, DWORD& type, std::vector<BYTE>& data) const;
  std::vector<std::wstring> SubKeyNames(const std::wstring& sub) const;

 private:
  std::wstring path_;
};

}  // namespace vorn::test
