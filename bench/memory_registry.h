// The in-memory registry behind the benchmark of the library's own cost
// (memory_registry.cpp binds the registry seam to it).
#pragma once

#include <windows.h>

#include <string>

#include "automation/ownership.h"
#include "registry/api.h"

namespace vorn::bench {

// Forgets every key.
void Clear();
// Creates root\path with every key missing along it.
void MakeKey(HKEY root, const std::wstring& path);
// Creates or replaces the value name of root\path (the key is created).
void SetValue(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type, const void* data,
              DWORD size);

// The raw registry calls, made through the seam to the registry in memory
// (the Calls of anchors.h).
struct Seam {
  static constexpr auto OpenKeyExW = &vorn::registry::api::OpenKeyExW;
  static constexpr auto CloseKey = &vorn::registry::api::CloseKey;
  static constexpr auto EnumKeyExW = &vorn::registry::api::EnumKeyExW;
  static constexpr auto EnumValueW = &vorn::registry::api::EnumValueW;
  static constexpr auto QueryValueExW = &vorn::registry::api::QueryValueExW;
  static constexpr auto QueryInfoKeyW = &vorn::registry::api::QueryInfoKeyW;
  static constexpr auto SetValueExW = &vorn::registry::api::SetValueExW;
  // Creates sub_key below key (with every key missing along it), or opens it.
  static LSTATUS CreateKeyExW(HKEY key, LPCWSTR sub_key, PHKEY result) {
    return vorn::registry::api::CreateKeyExW(key, sub_key, KEY_READ | KEY_WRITE, result, nullptr);
  }
};

// A new collection of the library (clsValues, clsKeys) aimed at
// HKEY_CURRENT_USER\path.
template <typename Collection>
vorn::ComPtr<Collection> Aimed(const std::wstring& path) {
  vorn::ComPtr<Collection> collection = Collection::Create();
  LONG root = static_cast<LONG>(0x80000001);
  vorn::unique_bstr p = vorn::MakeBstr(path.c_str());
  collection->put_HKEY(&root);
  collection->put_Path(&p.ref());
  return collection;
}

}  // namespace vorn::bench
