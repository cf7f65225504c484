// The library's own cost per record: the value and sub-key loads of the
// library's classes (linked in, called early-bound) over a registry held in
// memory (memory_registry.cpp), against the same registry calls made
// directly, in interleaved rounds. Without a registry server in the way,
// the difference is the library's own work. Prints "sample" lines
// (microseconds) and "figure" lines of nanoseconds per record, the median
// over the rounds of each round's difference; scripts/bench.sh collects
// them. Nothing here passes or fails.
//
//   vorn_cost.exe [ROUNDS [VALUES [KEYS]]]
//     (default 25 rounds, a key of 10,000 values, one of 1,000 sub-keys)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/anchors.h"
#include "bench/memory_registry.h"
#include "keys/keys.h"
#include "registry/api.h"
#include "values/value.h"
#include "values/values.h"

namespace {

using vorn::bench::Aimed;
using vorn::bench::Median;
using vorn::bench::Seam;
using vorn::bench::Time;

// Runs library and raw rounds times, alternating which goes first, and
// prints both samples and the library's own nanoseconds per unit (the median
// of the rounds' differences).
template <typename Library, typename Raw>
void Compare(const std::string& group, const char* unit, int n, int rounds, Library&& library, Raw&& raw) {
  library();  // warms the caches and the heap
  raw();
  std::vector<double> own, total;
  for (int r = 0; r < rounds; ++r) {
    double lib = 0, anchor = 0;
    if (r % 2) {
      anchor = Time(raw);
      lib = Time(library);
    } else {
      lib = Time(library);
      anchor = Time(raw);
    }
    std::printf("sample %s library %.3f\nsample %s raw-calls %.3f\n", group.c_str(), lib, group.c_str(), anchor);
    own.push_back((lib - anchor) * 1000 / n);
    total.push_back(lib * 1000 / n);
  }
  std::printf("figure %s-ns-per-%s-total %.0f\n", group.c_str(), unit, Median(total));
  std::printf("figure %s-ns-per-%s-own %.0f\n", group.c_str(), unit, Median(own));
  std::fflush(stdout);
}

void ValuesLoad(int n, int rounds) {
  std::wstring path = L"Software\\bench\\values-" + std::to_wstring(n);
  vorn::bench::ForEachValue(n, [&](const std::wstring& name, DWORD type, const void* data, DWORD size) {
    vorn::bench::SetValue(HKEY_CURRENT_USER, path, name, type, data, size);
  });
  // Count, then every Item(i).Value, as a client reads a key's values; the
  // collection is released inside the clock (the raw calls keep nothing).
  auto library = [&] {
    auto values = Aimed<vorn::Values>(path);
    vorn::bench::ReadEveryValue(values.get());
  };
  auto raw = [&] { vorn::bench::RawValueCalls<Seam>(HKEY_CURRENT_USER, path); };
  Compare("memory-values-load-" + std::to_string(n), "record", n, rounds, library, raw);
}

void SubKeysLoad(int n, int rounds) {
  std::wstring path = L"Software\\bench\\keys";
  for (int i = 0; i < n; ++i) vorn::bench::MakeKey(HKEY_CURRENT_USER, path + L"\\k" + std::to_wstring(i));
  auto library = [&] {
    auto keys = Aimed<vorn::Keys>(path);
    LONG count = 0;
    keys->get_Count(&count);
  };
  auto raw = [&] { vorn::bench::RawSubKeyCalls<Seam>(HKEY_CURRENT_USER, path); };
  Compare("memory-subkeys-load-" + std::to_string(n), "key", n, rounds, library, raw);
}

}  // namespace

int main(int argc, char** argv) {
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int rounds = argc > 1 ? std::atoi(argv[1]) : 25;
  if (rounds < 1) rounds = 1;
  ValuesLoad(argc > 2 ? std::max(1, std::atoi(argv[2])) : 10000, rounds);
  SubKeysLoad(argc > 3 ? std::max(1, std::atoi(argv[3])) : 1000, rounds);
  vorn::bench::Clear();
  ::CoUninitialize();
  return 0;
}
