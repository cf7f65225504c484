// What the C++ benchmark programs share: the clock, medians, the heap in use, the values that the
// values load reads, how it reads them, and the raw registry calls that the
// value and sub-key loads and the reads of single values are measured
// against. Calls is a type whose static members OpenKeyExW, EnumKeyExW,
// EnumValueW, QueryValueExW and CloseKey make those calls: to advapi32
// (vorn_bench) or to the registry in memory (vorn_cost).
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "contract/interfaces.h"

namespace vorn::bench {

// Microseconds from an arbitrary start.
inline double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  ::QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
}

template <typename Body>
double Time(Body&& body) {
  double start = Now();
  body();
  return Now() - start;
}

// The median of the samples.
inline double Median(std::vector<double> xs) {
  std::sort(xs.begin(), xs.end());
  size_t n = xs.size();
  return n % 2 ? xs[n / 2] : (xs[n / 2 - 1] + xs[n / 2]) / 2;
}

// Bytes in busy blocks of every heap of the process.
inline double HeapBytes() {
  std::vector<HANDLE> heaps(::GetProcessHeaps(0, nullptr) + 16);
  heaps.resize(::GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()));
  double total = 0;
  for (HANDLE heap : heaps) {
    if (!::HeapLock(heap)) continue;
    PROCESS_HEAP_ENTRY entry{};
    while (::HeapWalk(heap, &entry))
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
    ::HeapUnlock(heap);
  }
  return total;
}

// Calls set(name, type, data, size) for v0..v(n-1), alternately REG_SZ and
// REG_DWORD: the two decoded types.
template <typename Set>
void ForEachValue(int n, Set&& set) {
  for (int i = 0; i < n; ++i) {
    std::wstring name = L"v" + std::to_wstring(i);
    if (i % 2) {
      DWORD d = static_cast<DWORD>(i);
      set(name, REG_DWORD, static_cast<const void*>(&d), DWORD{4});
    } else {
      std::wstring text = L"text value " + std::to_wstring(i);
      set(name, REG_SZ, static_cast<const void*>(text.c_str()),
          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
  }
}

// Count, then every Item(i).Value, as a client reads a key's values.
inline void ReadEveryValue(_clsValues* values) {
  LONG count = 0;
  values->get_Count(&count);
  VARIANT index, data;
  ::VariantInit(&data);
  V_VT(&index) = VT_I4;
  for (LONG i = 1; i <= count; ++i) {
    V_I4(&index) = i;
    clsValue* record = nullptr;
    if (FAILED(values->get_Item(&index, &record))) continue;
    record->get_Value(&data);
    ::VariantClear(&data);
    record->Release();
  }
}

// What the value collection asks of the registry: one open, the names and
// types by index (a short name buffer), then the data of each REG_DWORD
// and REG_SZ value by name.
template <typename Calls>
void RawValueCalls(HKEY root, const std::wstring& path) {
  HKEY key = nullptr;
  if (Calls::OpenKeyExW(root, path.c_str(), 0, KEY_READ, &key)) return;
  struct Listed {
    std::wstring name;
    DWORD type;
  };
  std::vector<Listed> listed;
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = 256, type = 0;
    if (Calls::EnumValueW(key, i, name, &length, nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS) break;
    listed.push_back({std::wstring(name, length), type});
  }
  BYTE data[4096];
  for (const Listed& item : listed) {
    if (item.type != REG_DWORD && item.type != REG_SZ) continue;
    DWORD type = 0, size = item.type == REG_DWORD ? 4 : sizeof data;
    Calls::QueryValueExW(key, item.name.c_str(), nullptr, &type, data, &size);
  }
  Calls::CloseKey(key);
}

// What a sub-key load asks of the registry: the enumeration, and per child
// the two opens of its key object's two refreshes (at its root, then at its
// path).
template <typename Calls>
void RawSubKeyCalls(HKEY root, const std::wstring& path) {
  HKEY key = nullptr;
  if (Calls::OpenKeyExW(root, path.c_str(), 0, KEY_READ, &key)) return;
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    if (Calls::EnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    std::wstring child = path + L"\\" + name;
    for (const wchar_t* sub : {L"", child.c_str()}) {
      HKEY c = nullptr;
      if (Calls::OpenKeyExW(root, sub, 0, KEY_READ, &c) == ERROR_SUCCESS) Calls::CloseKey(c);
    }
  }
  Calls::CloseKey(key);
}

// What a read of one value by name asks of the registry, as a careful caller
// makes it: the key opened, the data queried whole (into a buffer of 512
// bytes, then again into one of the size the registry reported while it
// reports more), the key closed.
template <typename Calls>
LONG RawValueRead(HKEY root, const wchar_t* path, const wchar_t* name) {
  HKEY key = nullptr;
  if (LONG status = Calls::OpenKeyExW(root, path, 0, KEY_READ, &key)) return status;
  BYTE first[512];
  DWORD type = 0, size = sizeof first;
  LONG status = Calls::QueryValueExW(key, name, nullptr, &type, first, &size);
  std::vector<BYTE> more;
  while (status == ERROR_MORE_DATA && size > more.size()) {
    more.resize(size);
    status = Calls::QueryValueExW(key, name, nullptr, &type, more.data(), &size);
  }
  Calls::CloseKey(key);
  return status;
}

}  // namespace vorn::bench
