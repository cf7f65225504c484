// A private key HKCU\Software\VornRegistryTests\<unique> for one test,
// written and read with the wide registry functions directly (not through the
// library), and deleted with everything below it at the end.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace vorn::test {

class ScratchKey {
 public:
  static constexpr LONG kRoot = static_cast<LONG>(0x80000001);  // HKEY_CURRENT_USER

  // HKCU\path when given (a key at the root of the hive for a test that needs one).
  explicit ScratchKey(const std::wstring& path = {}) {
    static LONG counter = 0;
    path_ = !path.empty() ? path : path_ + std::to_wstring(::GetCurrentProcessId()) + L"." + std::to_wstring(++counter);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    CreateKey(L"");
  }
  ~ScratchKey() {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\VornRegistryTests");  // only succeeds once empty
  }
  ScratchKey(const ScratchKey&) = delete;
  ScratchKey& operator=(const ScratchKey&) = delete;

  // Path below HKEY_CURRENT_USER, without a trailing backslash.
  const std::wstring& Path() const { return path_; }
  // Path + "\" + sub (or Path when sub is empty).
  std::wstring Below(const std::wstring& sub) const { return sub.empty() ? path_ : path_ + L"\\" + sub; }

  void CreateKey(const std::wstring& sub) const {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyW(HKEY_CURRENT_USER, Below(sub).c_str(), &key));
    ::RegCloseKey(key);
  }
  bool KeyExists(const std::wstring& sub) const { return Open(sub) != nullptr; }
  // Raw bytes of any type, with any length.
  void SetRaw(const std::wstring& sub, const std::wstring& name, DWORD type, const void* data, DWORD size) const {
    CreateKey(sub);
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetKeyValueW(HKEY_CURRENT_USER, Below(sub).c_str(), name.c_str(), type, data, size));
  }
  void SetString(const std::wstring& sub, const std::wstring& name, const std::wstring& text) const {
    SetRaw(sub, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }
  void SetDword(const std::wstring& sub, const std::wstring& name, DWORD data) const {
    SetRaw(sub, name, REG_DWORD, &data, sizeof data);
  }
  bool ValueExists(const std::wstring& sub, const std::wstring& name) const {
    return !::RegGetValueW(HKEY_CURRENT_USER, Below(sub).c_str(), name.c_str(), RRF_RT_ANY, nullptr, nullptr, nullptr);
  }
  // In the order the registry enumerates them.
  std::vector<std::wstring> SubKeyNames(const std::wstring& sub) const {
    std::vector<std::wstring> names;
    wchar_t name[256];
    auto key = Open(sub);
    for (DWORD i = 0, n = 256; key && !::RegEnumKeyExW(key.get(), i, name, &n, nullptr, nullptr, nullptr, nullptr);
         ++i, n = 256)
      names.emplace_back(name, n);
    return names;
  }

 private:
  struct Closer {
    void operator()(HKEY key) const { ::RegCloseKey(key); }
  };
  std::unique_ptr<HKEY__, Closer> Open(const std::wstring& sub) const {
    HKEY key = nullptr;
    ::RegOpenKeyExW(HKEY_CURRENT_USER, Below(sub).c_str(), 0, KEY_READ, &key);
    return std::unique_ptr<HKEY__, Closer>(key);
  }

  std::wstring path_ = L"Software\\VornRegistryTests\\scratch.";
};

}  // namespace vorn::test
