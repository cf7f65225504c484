// The library's own cost per record, in parts: the loads without the release
// of the collection, the value load and release without reading the records,
// and Item by name after the load, over the registry held in memory
// (memory_registry.cpp), as vorn_cost measures the whole loads; and the heap
// a loaded collection holds per record. Prints "sample" and "figure" lines
// as vorn_cost does; nothing passes or fails.
//
//   vorn_cost_parts.exe [ROUNDS]   (default 25; 5 when VORN_BENCH_QUICK=1)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/anchors.h"
#include "bench/memory_registry.h"
#include "keys/keys.h"
#include "registry/api.h"
#include "values/values.h"

namespace {

using vorn::bench::HeapBytes;
using vorn::bench::Aimed;
using vorn::bench::Median;
using vorn::bench::Seam;
using vorn::bench::Time;

// Rounds of library (which returns the microseconds it timed itself) against
// raw, alternating which goes first; prints the library's nanoseconds per
// unit beyond raw, the median of the rounds' differences.
template <typename Library, typename Raw>
void Compare(const std::string& group, int n, int rounds, Library&& library, Raw&& raw, bool anchored = true) {
  library();
  raw();
  std::vector<double> own;
  for (int r = 0; r < rounds; ++r) {
    double lib = 0, anchor = 0;
    if (r % 2) {
      anchor = Time(raw);
      lib = library();
    } else {
      lib = library();
      anchor = Time(raw);
    }
    std::printf("sample %s library %.3f\n", group.c_str(), lib);
    if (anchored) std::printf("sample %s raw-calls %.3f\n", group.c_str(), anchor);
    own.push_back((lib - anchor) * 1000 / n);
  }
  std::printf("figure %s-ns-per-record-own %.0f\n", group.c_str(), Median(own));
  std::fflush(stdout);
}

// The values of the load of n, under the path returned.
std::wstring MakeValues(int n) {
  std::wstring path = L"Software\\bench\\values-" + std::to_wstring(n);
  vorn::bench::ForEachValue(n, [&](const std::wstring& name, DWORD type, const void* data, DWORD size) {
    vorn::bench::SetValue(HKEY_CURRENT_USER, path, name, type, data, size);
  });
  return path;
}

// What a loaded collection of n values holds on the heap, every record read
// once (as vorn_bench's bytes-per-record, over the registry in memory).
void HeapPerRecord(int n) {
  std::wstring path = MakeValues(n);
  vorn::bench::ReadEveryValue(Aimed<vorn::Values>(path).get());  // warms the heap
  double before = HeapBytes();
  auto kept = Aimed<vorn::Values>(path);
  vorn::bench::ReadEveryValue(kept.get());
  std::printf("figure memory-values-heap-bytes-per-record-%d %.0f\n", n, (HeapBytes() - before) / n);
}

void Values(int n, int rounds) {
  std::wstring path = MakeValues(n);
  auto raw = [&] { vorn::bench::RawValueCalls<Seam>(HKEY_CURRENT_USER, path); };
  std::string size = std::to_string(n);
  // Count alone; the collection is released after the clock stops.
  Compare("memory-values-count-" + size, n, rounds, [&] {
    vorn::ComPtr<vorn::Values> values;
    LONG count = 0;
    double t = Time([&] {
      values = Aimed<vorn::Values>(path);
      values->get_Count(&count);
    });
    return t;
  }, raw);
  // Count and the release of the collection, no record read.
  Compare("memory-values-count-release-" + size, n, rounds, [&] {
    return Time([&] {
      auto values = Aimed<vorn::Values>(path);
      LONG count = 0;
      values->get_Count(&count);
    });
  }, raw);
  // Item by name, once for every name, after the load: no registry call, so
  // nothing to subtract.
  std::vector<vorn::unique_variant> names;
  vorn::bench::ForEachValue(n, [&](const std::wstring& name, DWORD, const void*, DWORD) {
    vorn::unique_variant v;
    V_VT(&v.ref()) = VT_BSTR;
    V_BSTR(&v.ref()) = vorn::MakeBstr(name.c_str()).release();
    names.push_back(std::move(v));
  });
  auto loaded = Aimed<vorn::Values>(path);
  LONG count = 0;
  loaded->get_Count(&count);
  Compare("memory-values-item-by-name-" + size, n, rounds, [&] {
    return Time([&] {
      for (auto& name : names) {
        clsValue* record = nullptr;
        if (SUCCEEDED(loaded->get_Item(&name.ref(), &record))) record->Release();
      }
    });
  }, [] {}, false);
}

void SubKeys(int n, int rounds) {
  std::wstring path = L"Software\\bench\\keys";
  for (int i = 0; i < n; ++i) vorn::bench::MakeKey(HKEY_CURRENT_USER, path + L"\\k" + std::to_wstring(i));
  auto raw = [&] { vorn::bench::RawSubKeyCalls<Seam>(HKEY_CURRENT_USER, path); };
  Compare("memory-subkeys-count-" + std::to_string(n), n, rounds, [&] {
    vorn::ComPtr<vorn::Keys> keys;
    LONG count = 0;
    return Time([&] {
      keys = Aimed<vorn::Keys>(path);
      keys->get_Count(&count);
    });
  }, raw);
}

}  // namespace

int main(int argc, char** argv) {
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const char* quick = std::getenv("VORN_BENCH_QUICK");
  bool is_quick = quick && std::strcmp(quick, "1") == 0;
  int rounds = argc > 1 ? std::atoi(argv[1]) : is_quick ? 5 : 25;
  if (rounds < 1) rounds = 1;
  for (int n : {1000, 10000}) HeapPerRecord(n);
  Values(is_quick ? 2000 : 10000, rounds);
  SubKeys(1000, rounds);
  vorn::bench::Clear();
  ::CoUninitialize();
  return 0;
}
