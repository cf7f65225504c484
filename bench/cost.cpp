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
using vorn::bench::Seam;

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
  vorn::bench::CompareOwnCost("memory-values-load-" + std::to_string(n), "record", n, rounds, library, raw);
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
  vorn::bench::CompareOwnCost("memory-subkeys-load-" + std::to_string(n), "key", n, rounds, library, raw);
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
