// The in-memory registry behind the benchmark of the library's own cost
// (memory_registry.cpp binds the registry seam to it).
#pragma once

#include <windows.h>

#include <string>

namespace vorn::bench {

// Forgets every key.
void Clear();
// Creates root\path with every key missing along it.
void MakeKey(HKEY root, const std::wstring& path);
// Creates or replaces the value name of root\path (the key is created).
void SetValue(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type, const void* data,
              DWORD size);

}  // namespace vorn::bench
