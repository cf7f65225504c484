// The library's own cost per record: the value and sub-key loads of the
// library's classes (linked in, called early-bound) over a registry held in
// memory (memory_registry.cpp), against the same registry calls made
// directly, in interleaved rounds. Without a registry server in the way,
// the difference is the library's own work. Prints "sample" lines
// (microseconds) and "figure" lines of nanoseconds per record, the median
// over the rounds of each round's difference; scripts/bench.sh collects
// them. Nothing here passes or fails.
//
//   vorn_cost.exe [ROUNDS]   (default 25)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/memory_registry.h"
#include "keys/keys.h"
#include "platform/registry_api.h"
#include "values/value.h"
#include "values/values.h"

namespace {

namespace api = vorn::registry::api;

constexpr LONG kCurrentUser = static_cast<LONG>(0x80000001);

double Now() {
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

double Median(std::vector<double> xs) {
  std::sort(xs.begin(), xs.end());
  size_t n = xs.size();
  return n % 2 ? xs[n / 2] : (xs[n / 2 - 1] + xs[n / 2]) / 2;
}

template <typename Collection>
vorn::ComPtr<Collection> Aimed(const std::wstring& path) {
  vorn::ComPtr<Collection> collection = Collection::Create();
  LONG root = kCurrentUser;
  vorn::unique_bstr p = vorn::MakeBstr(path.c_str());
  collection->put_HKEY(&root);
  collection->put_Path(&p.ref());
  return collection;
}

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
  for (int i = 0; i < n; ++i) {
    std::wstring name = L"v" + std::to_wstring(i);
    if (i % 2) {
      DWORD d = static_cast<DWORD>(i);
      vorn::bench::SetValue(HKEY_CURRENT_USER, path, name, REG_DWORD, &d, 4);
    } else {
      std::wstring text = L"text value " + std::to_wstring(i);
      vorn::bench::SetValue(HKEY_CURRENT_USER, path, name, REG_SZ, text.c_str(),
                            static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
  }
  // Count, then every Item(i).Value, as a client reads a key's values; the
  // collection is released inside the clock (the raw calls keep nothing).
  auto library = [&] {
    auto values = Aimed<vorn::Values>(path);
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
  };
  auto raw = [&] {
    HKEY key = nullptr;
    if (api::OpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key)) return;
    struct Listed {
      std::wstring name;
      DWORD type;
    };
    std::vector<Listed> listed;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
      DWORD length = 256, type = 0;
      if (api::EnumValueW(key, i, name, &length, nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS) break;
      listed.push_back({std::wstring(name, length), type});
    }
    BYTE data[4096];
    for (const Listed& item : listed) {
      if (item.type != REG_DWORD && item.type != REG_SZ) continue;
      DWORD type = 0, size = item.type == REG_DWORD ? 4 : sizeof data;
      api::QueryValueExW(key, item.name.c_str(), nullptr, &type, data, &size);
    }
    api::CloseKey(key);
  };
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
  // The enumeration, and per child the two opens of its key object's two
  // refreshes (at its root, then at its path).
  auto raw = [&] {
    HKEY key = nullptr;
    if (api::OpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key)) return;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
      DWORD length = 256;
      if (api::EnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      std::wstring child = path + L"\\" + name;
      for (const wchar_t* sub : {L"", child.c_str()}) {
        HKEY c = nullptr;
        if (api::OpenKeyExW(HKEY_CURRENT_USER, sub, 0, KEY_READ, &c) == ERROR_SUCCESS) api::CloseKey(c);
      }
    }
    api::CloseKey(key);
  };
  Compare("memory-subkeys-load-" + std::to_string(n), "key", n, rounds, library, raw);
}

}  // namespace

int main(int argc, char** argv) {
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int rounds = argc > 1 ? std::atoi(argv[1]) : 25;
  if (rounds < 1) rounds = 1;
  ValuesLoad(10000, rounds);
  SubKeysLoad(1000, rounds);
  vorn::bench::Clear();
  ::CoUninitialize();
  return 0;
}
