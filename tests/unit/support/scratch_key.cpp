#include "support/scratch_key.h"

#include <gtest/gtest.h>

namespace vorn::test {

namespace {

constexpr wchar_t kTestsRoot[] = L"Software\\VornRegistryTests";

std::wstring UniqueName() {
  static LONG counter = 0;
  std::wstring name;
  if (const auto* info = ::testing::UnitTest::GetInstance()->current_test_info()) {
    for (const char* p = info->test_suite_name(); *p; ++p) name += static_cast<wchar_t>(*p);
    name += L'.';
    for (const char* p = info->name(); *p; ++p) name += (*p == '/' ? L'_' : static_cast<wchar_t>(*p));
  } else {
    name = L"scratch";
  }
  name += L'.' + std::to_wstring(::GetCurrentProcessId()) + L'.' + std::to_wstring(::InterlockedIncrement(&counter));
  return name;
}

}  // namespace

ScratchKey::ScratchKey() : path_(std::wstring(kTestsRoot) + L"\\" + UniqueName()) {
  ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
  CreateKey(L"");
}

ScratchKey::~ScratchKey() {
  ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
  ::RegDeleteKeyW(HKEY_CURRENT_USER, kTestsRoot);  // only succeeds once empty
}

std::wstring ScratchKey::Below(const std::wstring& sub) const { return sub.empty() ? path_ : path_ + L"\\" + sub; }

void ScratchKey::CreateKey(const std::wstring& sub) const {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, Below(sub).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &key, nullptr));
  ::RegCloseKey(key);
}

bool ScratchKey::KeyExists(const std::wstring& sub) const {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, Below(sub).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  ::RegCloseKey(key);
  return true;
}

void ScratchKey::SetRaw(const std::wstring& sub, const std::wstring& name, DWORD type, const void* data,
                        DWORD size) const {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, Below(sub).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &key, nullptr));
  LONG status = ::RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
  ::RegCloseKey(key);
  ASSERT_EQ(ERROR_SUCCESS, status);
}

void ScratchKey::SetString(const std::wstring& sub, const std::wstring& name, const std::wstring& text) const {
  SetRaw(sub, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void ScratchKey::SetDword(const std::wstring& sub, const std::wstring& name, DWORD data) const {
  SetRaw(sub, name, REG_DWORD, &data, sizeof data);
}

bool ScratchKey::ValueExists(const std::wstring& sub, const std::wstring& name) const {
  DWORD type;
  std::vector<BYTE> data;
  return ReadRaw(sub, name, type, data);
}

bool ScratchKey::ReadRaw(const std::wstring& sub, const std::wstring& name, DWORD& type,
                         std::vector<BYTE>& data) const {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, Below(sub).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD size = 0;
  LONG status = ::RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size);
  if (status == ERROR_SUCCESS) {
    data.resize(size);
    status = ::RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &size);
    data.resize(size);
  }
  ::RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

std::vector<std::wstring> ScratchKey::SubKeyNames(const std::wstring& sub) const {
  std::vector<std::wstring> names;
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, Below(sub).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    if (::RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  ::RegCloseKey(key);
  return names;
}

}  // namespace vorn::test
