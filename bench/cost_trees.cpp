// The library's own cost of the whole-tree operations over the registry
// held in memory (memory_registry.cpp), against the same walks made with
// the raw calls: the tree read behind Rename and Import's undo record,
// Export (with the file it writes), CopyTree and Find, each over a tree of
// keys with ten values of every type; and the most heap a search that finds
// nothing takes, over a small and a large tree of the same depth. Prints
// "sample" and "figure" lines as vorn_cost does; nothing passes or fails.
//
//   vorn_cost_trees.exe [ROUNDS [GROUPS [LEAVES]]]
//     (default 15 rounds, 40 groups of 49 leaves: 2,000 keys)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "bench/anchors.h"
#include "bench/memory_registry.h"
#include "registry/service.h"
#include "trees/copy.h"
#include "trees/export.h"
#include "trees/find.h"
#include "trees/key_tree.h"

// Every allocation of operator new is counted, so that the peak of one
// operation can be read (the library's containers all allocate so).
namespace {
size_t g_in_use = 0, g_peak = 0;
constexpr size_t kHeader = 16;  // keeps malloc's alignment
}  // namespace

void* operator new(size_t n) {
  auto* block = static_cast<size_t*>(std::malloc(n + kHeader));
  if (!block) throw std::bad_alloc();
  *block = n;
  g_in_use += n;
  g_peak = std::max(g_peak, g_in_use);
  return reinterpret_cast<char*>(block) + kHeader;
}
void operator delete(void* p) noexcept {
  if (!p) return;
  auto* block = reinterpret_cast<size_t*>(static_cast<char*>(p) - kHeader);
  g_in_use -= *block;
  std::free(block);
}
void* operator new[](size_t n) { return operator new(n); }
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, size_t) noexcept { operator delete(p); }
void operator delete[](void* p, size_t) noexcept { operator delete(p); }

namespace {

using vorn::bench::Seam;

constexpr LONG kCurrentUser = static_cast<LONG>(0x80000001);

// groups keys of leaves sub-keys each below HKCU\path, every key with ten
// values of every type (as bench/reg_files.sh makes its tree); the number
// of keys.
int MakeTree(const std::wstring& path, int groups, int leaves) {
  int n = 0;
  auto key = [&](const std::wstring& at) {
    std::wstring number = std::to_wstring(n++);
    auto set = [&](const wchar_t* name, DWORD type, const void* data, size_t size) {
      vorn::bench::SetValue(HKEY_CURRENT_USER, at, name, type, data, static_cast<DWORD>(size));
    };
    auto text = [&](const wchar_t* name, DWORD type, const std::wstring& t) {
      set(name, type, t.c_str(), (t.size() + 1) * sizeof(wchar_t));
    };
    DWORD d = static_cast<DWORD>(n);
    ULONGLONG q = static_cast<ULONGLONG>(n);
    BYTE bytes[64];
    for (int i = 0; i < 64; ++i) bytes[i] = static_cast<BYTE>(n + i);
    std::wstring list = L"a" + number + L'\0' + L"b" + L'\0' + L'\0';
    text(L"", REG_SZ, L"default " + number);
    text(L"text", REG_SZ, L"value " + number + L" with \"quotes\" and \\");
    set(L"dword", REG_DWORD, &d, 4);
    text(L"expand", REG_EXPAND_SZ, L"%TEMP%\\" + number);
    set(L"multi", REG_MULTI_SZ, list.data(), list.size() * sizeof(wchar_t));
    set(L"qword", REG_QWORD, &q, 8);
    set(L"binary", REG_BINARY, bytes, sizeof bytes);
    set(L"none", REG_NONE, bytes, 2);
    set(L"big", REG_DWORD_BIG_ENDIAN, &d, 4);
    set(L"own", 0x4321, bytes, 1);
  };
  for (int g = 0; g < groups; ++g) {
    std::wstring group = path + L"\\group " + std::to_wstring(g);
    key(group);
    for (int l = 0; l < leaves; ++l) key(group + L"\\leaf " + std::to_wstring(l));
  }
  return n;
}

HKEY Opened(const std::wstring& path) {
  HKEY key = nullptr;
  vorn::registry::api::OpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key);
  return key;
}

vorn::unique_variant Text(const wchar_t* text) {
  vorn::unique_variant v;
  V_VT(&v.ref()) = VT_BSTR;
  V_BSTR(&v.ref()) = vorn::MakeBstr(text).release();
  return v;
}

void Rows(int rounds, int groups, int leaves) {
  const std::wstring path = L"Software\\bench\\tree", copy = L"Software\\bench\\copy";
  const int keys = MakeTree(path, groups, leaves);
  const std::string size = std::to_string(keys) + "-keys";
  HKEY source = Opened(path);
  auto read = [&] { vorn::bench::RawTreeSearch<Seam>(source, L""); };

  vorn::bench::CompareOwnCost("memory-readtree-" + size, "key", keys, rounds,
                              [&] { vorn::ReadTree(source, L"HKEY_CURRENT_USER\\" + path, 0); }, read);

  wchar_t folder[MAX_PATH];
  ::GetTempPathW(MAX_PATH, folder);
  const std::wstring file = std::wstring(folder) + L"vorn-cost-trees.reg";
  vorn::bench::CompareOwnCost("memory-export-" + size, "key", keys, rounds,
                              [&] { vorn::ExportKey({kCurrentUser, path, 0, false}, file, true); }, read);
  ::DeleteFileW(file.c_str());

  const vorn::trees::KeyName from{kCurrentUser, path, 0, false}, to{kCurrentUser, copy, 0, false};
  vorn::bench::CompareOwnCost(
      "memory-copytree-" + size, "key", keys, rounds, [&] { vorn::trees::CopyTree(from, to); },
      [&] {
        HKEY made = nullptr;
        Seam::CreateKeyExW(HKEY_CURRENT_USER, copy.c_str(), &made);
        vorn::bench::RawTreeCopy<Seam>(source, made);
      },
      [&] { vorn::registry::DeleteSubTree(HKEY_CURRENT_USER, copy.c_str()); });

  // Text values of one key in a hundred hold the pattern.
  vorn::unique_variant pattern = Text(L"value 12");
  std::vector<std::wstring> skipped;
  vorn::bench::CompareOwnCost(
      "memory-find-" + size, "key", keys, rounds, [&] { vorn::trees::Find(from, pattern.ref(), nullptr, skipped); },
      [&] { vorn::bench::RawTreeSearch<Seam>(source, L"VALUE 12"); });
  vorn::registry::api::CloseKey(source);
}

// The most heap a search that finds nothing holds at once, beyond what was
// in use before it.
void FindPeak(int groups, int leaves) {
  const std::wstring path = L"Software\\bench\\peak-" + std::to_wstring(groups);
  const int keys = MakeTree(path, groups, leaves);
  vorn::unique_variant nothing = Text(L"no such text");
  std::vector<std::wstring> skipped;
  const vorn::trees::KeyName key{kCurrentUser, path, 0, false};
  vorn::trees::Find(key, nothing.ref(), nullptr, skipped);  // warms what stays
  g_peak = g_in_use;
  const size_t before = g_in_use;
  vorn::trees::Find(key, nothing.ref(), nullptr, skipped);
  std::printf("figure memory-find-no-hits-peak-bytes-%d-keys %zu\n", keys, g_peak - before);
}

}  // namespace

int main(int argc, char** argv) {
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  int groups = argc > 2 ? std::max(1, std::atoi(argv[2])) : 40;
  int leaves = argc > 3 ? std::max(0, std::atoi(argv[3])) : 49;
  Rows(rounds, groups, leaves);
  FindPeak(groups / 10 > 0 ? groups / 10 : 1, leaves);
  FindPeak(groups, leaves);
  vorn::bench::Clear();
  ::CoUninitialize();
  return 0;
}
