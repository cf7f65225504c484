// What the C++ benchmark programs share: the clock, medians, the heap in use, the values that the
// values load reads, how it reads them, and the raw registry calls that the
// value and sub-key loads and the reads of single values are measured
// against. Calls is a type whose static members OpenKeyExW, EnumKeyExW,
// EnumValueW, QueryValueExW and CloseKey make those calls: to advapi32
// (vorn_bench) or to the registry in memory (vorn_cost).
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
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

// Runs library and raw rounds times, alternating which goes first (after
// one untimed run of each, and between runs what tidy does, untimed), and
// prints both samples and the library's own nanoseconds per unit (the
// median of the rounds' differences) and in all.
template <typename Library, typename Raw, typename Tidy>
void CompareOwnCost(const std::string& group, const char* unit, int n, int rounds, Library&& library, Raw&& raw,
                    Tidy&& tidy) {
  library(), tidy();  // warms the caches and the heap
  raw(), tidy();
  std::vector<double> own, total;
  for (int r = 0; r < rounds; ++r) {
    double lib = 0, anchor = 0;
    if (r % 2) {
      anchor = Time(raw), tidy();
      lib = Time(library), tidy();
    } else {
      lib = Time(library), tidy();
      anchor = Time(raw), tidy();
    }
    std::printf("sample %s library %.3f\nsample %s raw-calls %.3f\n", group.c_str(), lib, group.c_str(), anchor);
    own.push_back((lib - anchor) * 1000 / n);
    total.push_back(lib * 1000 / n);
  }
  std::printf("figure %s-ns-per-%s-total %.0f\n", group.c_str(), unit, Median(total));
  std::printf("figure %s-ns-per-%s-own %.0f\n", group.c_str(), unit, Median(own));
  std::fflush(stdout);
}
template <typename Library, typename Raw>
void CompareOwnCost(const std::string& group, const char* unit, int n, int rounds, Library&& library, Raw&& raw) {
  CompareOwnCost(group, unit, n, rounds, library, raw, [] {});
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

// A search of a tree as a C++ programmer writes it with the raw calls: each
// key opened, its numbers of values and sub-keys asked, its values
// enumerated with their data (into buffers that grow when a value is
// longer), its sub-keys enumerated, depth first; every key name below the
// key, value name and string (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) folded
// to upper case by the platform and searched for the folded pattern. A
// value counts once. Returns the matches.
// With an empty pattern nothing is compared: a plain read of the tree.
template <typename Calls>
size_t RawTreeSearch(HKEY key, const std::wstring& folded_pattern) {
  struct Buffers {
    std::vector<wchar_t> name = std::vector<wchar_t>(16384), folded;
    std::vector<BYTE> data = std::vector<BYTE>(2048);
    bool Found(const wchar_t* text, size_t length, const std::wstring& pattern) {
      if (pattern.empty()) return false;
      if (folded.size() < length) folded.resize(length);
      std::copy(text, text + length, folded.begin());
      if (length) ::CharUpperBuffW(folded.data(), static_cast<DWORD>(length));
      return std::wstring_view(folded.data(), length).find(pattern) != std::wstring_view::npos;
    }
  };
  struct Walk {
    static size_t Key(HKEY key, Buffers& b, const std::wstring& pattern) {
      DWORD sub_keys = 0, values = 0;
      if (Calls::QueryInfoKeyW(key, nullptr, nullptr, nullptr, &sub_keys, nullptr, nullptr, &values, nullptr,
                               nullptr, nullptr, nullptr))
        return 0;
      size_t found = 0;
      for (DWORD i = 0; i < values; ++i) {
        DWORD length = static_cast<DWORD>(b.name.size()), type = 0, size = static_cast<DWORD>(b.data.size());
        LONG status = Calls::EnumValueW(key, i, b.name.data(), &length, nullptr, &type, b.data.data(), &size);
        if (status == ERROR_MORE_DATA) {
          b.data.resize(size);
          length = static_cast<DWORD>(b.name.size());
          status = Calls::EnumValueW(key, i, b.name.data(), &length, nullptr, &type, b.data.data(), &size);
        }
        if (status) break;
        bool text = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
        found += b.Found(b.name.data(), length, pattern) ||
                 (text && b.Found(reinterpret_cast<const wchar_t*>(b.data.data()), size / 2, pattern));
      }
      for (DWORD i = 0; i < sub_keys; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        if (Calls::EnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr)) break;
        found += b.Found(name, length, pattern);
        HKEY child = nullptr;
        if (Calls::OpenKeyExW(key, name, 0, KEY_READ, &child)) continue;
        found += Key(child, b, pattern);
        Calls::CloseKey(child);
      }
      return found;
    }
  };
  Buffers buffers;
  return Walk::Key(key, buffers, folded_pattern);
}

// A copy of a tree with the raw calls, key by key as it is read: each
// source key opened and its numbers asked, each value enumerated with its
// data and set in the copy, each sub-key created in the copy, depth first.
template <typename Calls>
void RawTreeCopy(HKEY source, HKEY copy) {
  DWORD sub_keys = 0, values = 0;
  if (Calls::QueryInfoKeyW(source, nullptr, nullptr, nullptr, &sub_keys, nullptr, nullptr, &values, nullptr, nullptr,
                           nullptr, nullptr))
    return;
  static wchar_t name[16384];
  static BYTE data[65536];
  for (DWORD i = 0; i < values; ++i) {
    DWORD length = 16384, type = 0, size = sizeof data;
    if (Calls::EnumValueW(source, i, name, &length, nullptr, &type, data, &size)) break;
    Calls::SetValueExW(copy, name, 0, type, data, size);
  }
  for (DWORD i = 0; i < sub_keys; ++i) {
    wchar_t sub[256];
    DWORD length = 256;
    if (Calls::EnumKeyExW(source, i, sub, &length, nullptr, nullptr, nullptr, nullptr)) break;
    HKEY from = nullptr, to = nullptr;
    if (Calls::OpenKeyExW(source, sub, 0, KEY_READ, &from)) continue;
    if (!Calls::CreateKeyExW(copy, sub, &to)) {
      RawTreeCopy<Calls>(from, to);
      Calls::CloseKey(to);
    }
    Calls::CloseKey(from);
  }
}

}  // namespace vorn::bench
