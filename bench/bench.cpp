// Prints how long the library takes to load a key's values and sub-keys,
// next to the raw registry calls that the same work needs at least, and the
// process's peak working set. Figures only: nothing here passes or fails.
#include <windows.h>
#include <objbase.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "keys/key.h"
#include "keys/keys.h"
#include "platform/handles.h"
#include "values/values.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr wchar_t kBenchRoot[] = L"Software\\VornRegistryTests\\bench";

double MicrosSince(Clock::time_point start) {
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

void Build(int n) {
  ::RegDeleteTreeW(HKEY_CURRENT_USER, kBenchRoot);
  HKEY root = nullptr, values = nullptr;
  ::RegCreateKeyExW(HKEY_CURRENT_USER, kBenchRoot, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root, nullptr);
  ::RegCreateKeyExW(root, L"values", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &values, nullptr);
  for (int i = 0; i < n; ++i) {
    std::wstring name = L"v" + std::to_wstring(i);
    if (i % 2) {
      DWORD d = static_cast<DWORD>(i);
      ::RegSetValueExW(values, name.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE*>(&d), 4);
    } else {
      std::wstring text = L"text value " + std::to_wstring(i);
      ::RegSetValueExW(values, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * 2));
    }
    HKEY child = nullptr;
    std::wstring key = L"keys\\k" + std::to_wstring(i);
    ::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr);
    ::RegCloseKey(child);
  }
  ::RegCloseKey(values);
  ::RegCloseKey(root);
}

double RawValues() {
  auto start = Clock::now();
  HKEY key = nullptr;
  std::string path = "Software\\VornRegistryTests\\bench\\values";
  ::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key);
  char name[2000];
  BYTE data[2000];
  for (DWORD i = 0;; ++i) {
    DWORD name_length = sizeof name, type = 0, size = sizeof data;
    if (::RegEnumValueA(key, i, name, &name_length, nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS) break;
    ::RegQueryValueExA(key, name, nullptr, &type, data, &size);
  }
  ::RegCloseKey(key);
  return MicrosSince(start);
}

double RawKeys() {
  auto start = Clock::now();
  HKEY key = nullptr;
  ::RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\VornRegistryTests\\bench\\keys", 0, KEY_READ, &key);
  char name[2000];
  for (DWORD i = 0;; ++i) {
    DWORD name_length = sizeof name;
    if (::RegEnumKeyExA(key, i, name, &name_length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    // Each item of the collection opens its key twice (once per assignment).
    std::string child = std::string("Software\\VornRegistryTests\\bench\\keys\\") + name;
    for (int k = 0; k < 2; ++k) {
      HKEY c = nullptr;
      if (::RegOpenKeyExA(HKEY_CURRENT_USER, k ? child.c_str() : "", 0, KEY_READ, &c) == ERROR_SUCCESS)
        ::RegCloseKey(c);
    }
  }
  ::RegCloseKey(key);
  return MicrosSince(start);
}

template <typename Collection>
double Load(const wchar_t* path, LONG& count) {
  auto start = Clock::now();
  auto c = Collection::Create();
  LONG root = static_cast<LONG>(0x80000001);
  vorn::unique_bstr p = vorn::MakeBstr(path);
  c->put_HKEY(&root);
  c->put_Path(&p.ref());
  c->get_Count(&count);
  return MicrosSince(start);
}

double WalkByPosition(const wchar_t* path) {
  auto c = vorn::Values::Create();
  LONG root = static_cast<LONG>(0x80000001), count = 0;
  vorn::unique_bstr p = vorn::MakeBstr(path);
  c->put_HKEY(&root);
  c->put_Path(&p.ref());
  c->get_Count(&count);
  auto start = Clock::now();
  for (LONG i = 1; i <= count; ++i) {
    vorn::unique_variant index;
    V_VT(&index.ref()) = VT_I4;
    V_I4(&index.ref()) = i;
    vorn::ComPtr<clsValue> record;
    c->get_Item(&index.ref(), record.put());
  }
  return MicrosSince(start);
}

}  // namespace

int main(int argc, char** argv) {
  int n = argc > 1 ? std::atoi(argv[1]) : 1000;
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  Build(n);
  std::wstring values_path = std::wstring(kBenchRoot) + L"\\values";
  std::wstring keys_path = std::wstring(kBenchRoot) + L"\\keys";

  RawValues();  // warm the registry
  double raw_values = RawValues();
  LONG value_count = 0;
  double lib_values = Load<vorn::Values>(values_path.c_str(), value_count);
  double walk = WalkByPosition(values_path.c_str());
  double raw_keys = RawKeys();
  LONG key_count = 0;
  double lib_keys = Load<vorn::Keys>(keys_path.c_str(), key_count);

  PROCESS_MEMORY_COUNTERS memory{};
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof memory);

  std::printf("N = %d\n", n);
  std::printf("values: load %ld records  %9.0f us  (%.1f us/value)   raw enum+query %9.0f us  (%.1f us/value)\n",
              static_cast<long>(value_count), lib_values, lib_values / n, raw_values, raw_values / n);
  std::printf("values: Item(1..Count) walk      %9.0f us  (%.2f us/item)\n", walk, walk / n);
  std::printf("keys:   load %ld items    %9.0f us  (%.1f us/key)     raw enum+2 opens %9.0f us  (%.1f us/key)\n",
              static_cast<long>(key_count), lib_keys, lib_keys / n, raw_keys, raw_keys / n);
  std::printf("peak working set: %.1f MiB\n", memory.PeakWorkingSetSize / 1048576.0);

  ::RegDeleteTreeW(HKEY_CURRENT_USER, kBenchRoot);
  ::CoUninitialize();
  return 0;
}
