// The C++ half of the standing benchmark: the registered module, called
// early-bound as a C++ client calls it, against the raw registry calls that
// the same work needs, in interleaved rounds. Prints one "sample" line per
// measurement (microseconds), "figure" lines for other quantities and
// "target" lines; scripts/bench.sh collects them into one table. Nothing
// here passes or fails.
//
//   vorn_bench.exe run [SIZES [ROUNDS [DIVISOR]]]
//                                   values loads at each size (default
//                                   1000,10000,100000), sub-keys, delete,
//                                   Invoke, GetValue, Find, in ROUNDS rounds
//                                   (default 9; three for 100,000 values
//                                   and more); DIVISOR (default 1) divides
//                                   the other sizes (1,000 sub-keys, 99
//                                   keys below each of the ten children of
//                                   the deleted tree, 100,000 Invoke calls,
//                                   10,000 GetValue reads), for a quick run
//                                   and the security members (1,000
//                                   calls each)
//   vorn_bench.exe find [PATH [ROUNDS]]
//                                   Find alone, over HKLM\PATH (default
//                                   Software; the run's quick form searches
//                                   Software\Microsoft\Windows)
//   vorn_bench.exe getvalue [N [ROUNDS]]
//                                   GetValue alone, over N values (default
//                                   10000)
//   vorn_bench.exe make PATH N      N values v0..v(N-1) under HKCU\PATH, for
//                                   the script walks
//   vorn_bench.exe drop PATH        deletes HKCU\PATH with its tree
#include <windows.h>
#include <aclapi.h>
#include <objbase.h>
#include <oleauto.h>
#include <sddl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <functional>
#include <string>
#include <vector>

#include "bench/anchors.h"
#include "contract/guids.h"
#include "contract/interfaces.h"

namespace {

using vorn::bench::HeapBytes;
using vorn::bench::Time;

constexpr LONG kCurrentUser = static_cast<LONG>(0x80000001);
const std::wstring kBase = L"Software\\VornRegistryTests\\bench";

// ---- measuring ------------------------------------------------------------

void Sample(const std::string& group, const char* label, double micros) {
  std::printf("sample %s %s %.3f\n", group.c_str(), label, micros);
  std::fflush(stdout);
}

// Runs subject and anchor rounds times, alternating which goes first.
template <typename Subject, typename Anchor>
void Interleave(int rounds, Subject&& subject, Anchor&& anchor) {
  for (int r = 0; r < rounds; ++r) {
    if (r % 2) {
      anchor();
      subject();
    } else {
      subject();
      anchor();
    }
  }
}

// ---- the registry fixtures -------------------------------------------------

HKEY Create(const std::wstring& path) {
  HKEY key = nullptr;
  ::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  return key;
}

void Drop(const std::wstring& path) { ::RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str()); }

// The values of the values load (vorn::bench::ForEachValue).
void MakeValues(const std::wstring& path, int n) {
  Drop(path);
  HKEY key = Create(path);
  vorn::bench::ForEachValue(n, [&](const std::wstring& name, DWORD type, const void* data, DWORD size) {
    ::RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
  });
  ::RegCloseKey(key);
}

// fan children k0.. of path, each with per children c0.. of its own.
void MakeTree(const std::wstring& path, int fan, int per) {
  ::RegCloseKey(Create(path));
  for (int i = 0; i < fan; ++i) {
    std::wstring child = path + L"\\k" + std::to_wstring(i);
    ::RegCloseKey(Create(child));
    for (int j = 0; j < per; ++j) ::RegCloseKey(Create(child + L"\\c" + std::to_wstring(j)));
  }
}

// ---- the library, early-bound ----------------------------------------------

template <typename T>
T* New(const CLSID& clsid, const IID& iid) {
  T* object = nullptr;
  if (FAILED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(&object)))) {
    std::fprintf(stderr, "vorn_bench: the module is not registered in this prefix\n");
    std::exit(2);
  }
  return object;
}

template <typename T>
T* Aimed(const CLSID& clsid, const IID& iid, const std::wstring& path) {
  T* object = New<T>(clsid, iid);
  LONG root = kCurrentUser;
  BSTR p = ::SysAllocString(path.c_str());
  object->put_HKEY(&root);
  object->put_Path(&p);
  ::SysFreeString(p);
  return object;
}

// Count, then every Item(i).Value, as a client reads a key's values.
_clsValues* LoadValues(const std::wstring& path) {
  _clsValues* values = Aimed<_clsValues>(vorn::guids::CLSID_clsValues, vorn::guids::IID__clsValues, path);
  vorn::bench::ReadEveryValue(values);
  return values;
}

// The raw registry calls, made to advapi32.
struct Advapi32 {
  static constexpr auto OpenKeyExW = &::RegOpenKeyExW;
  static constexpr auto CloseKey = &::RegCloseKey;
  static constexpr auto EnumKeyExW = &::RegEnumKeyExW;
  static constexpr auto EnumValueW = &::RegEnumValueW;
  static constexpr auto QueryValueExW = &::RegQueryValueExW;
  static constexpr auto QueryInfoKeyW = &::RegQueryInfoKeyW;
};

void RawValues(const std::wstring& path) { vorn::bench::RawValueCalls<Advapi32>(HKEY_CURRENT_USER, path); }

void ValuesLoad(int n, int rounds) {
  std::wstring path = kBase + L"\\values-" + std::to_wstring(n);
  std::string group = "values-load-" + std::to_string(n);
  MakeValues(path, n);
  RawValues(path);  // warms the registry's caches
  LoadValues(path)->Release();  // and the module's, so that the heap holds only records
  double before = HeapBytes();
  _clsValues* kept = LoadValues(path);
  double held = HeapBytes() - before;
  std::printf("figure bytes-per-record-%d %.0f\n", n, held / n);
  // Beyond the records' own data: each name and string value as UTF-16
  // units, and four bytes per DWORD.
  double data = 0;
  vorn::bench::ForEachValue(n, [&](const std::wstring& name, DWORD type, const void*, DWORD size) {
    data += static_cast<double>(name.size() * sizeof(wchar_t) + (type == REG_DWORD ? 4 : size - sizeof(wchar_t)));
  });
  std::printf("figure heap-beyond-data-per-record-%d %.0f\n", n, (held - data) / n);
  kept->Release();
  // The collection is released after the clock stops: the load is what is
  // timed, as the raw calls keep nothing.
  Interleave(rounds,
             [&] {
               Sample(group, "library", Time([&] { kept = LoadValues(path); }));
               kept->Release();
             },
             [&] { Sample(group, "raw-W-calls", Time([&] { RawValues(path); })); });
  if (n == 10000) std::printf("target %s raw-W-calls 1.05\n", group.c_str());
  Drop(path);
}

void SubKeysLoad(int n, int rounds) {
  std::wstring path = kBase + L"\\keys";
  MakeTree(path, n, 0);
  auto library = [&] {
    _clsKeys* keys = Aimed<_clsKeys>(vorn::guids::CLSID_clsKeys, vorn::guids::IID__clsKeys, path);
    LONG count = 0;
    keys->get_Count(&count);
    keys->Release();
  };
  auto raw = [&] { vorn::bench::RawSubKeyCalls<Advapi32>(HKEY_CURRENT_USER, path); };
  std::string group = "subkeys-load-" + std::to_string(n);
  raw();
  Interleave(rounds, [&] { Sample(group, "library", Time(library)); },
             [&] { Sample(group, "raw-W-calls", Time(raw)); });
  std::printf("target %s raw-W-calls 1.05\n", group.c_str());
  Drop(path);
}

// A tree of 1 + fan + fan * per keys (1,001 in the full run), deleted
// through clsKeys.Delete of its top.
void TreeDelete(int rounds, int fan, int per) {
  std::wstring parent = kBase + L"\\trees", top = parent + L"\\tree";
  std::string group = "delete-" + std::to_string(1 + fan + fan * per) + "-keys";
  auto library = [&] {
    MakeTree(top, fan, per);
    _clsKeys* keys = Aimed<_clsKeys>(vorn::guids::CLSID_clsKeys, vorn::guids::IID__clsKeys, parent);
    BSTR name = ::SysAllocString(L"tree");
    VARIANT_BOOL done = VARIANT_FALSE;
    Sample(group, "library", Time([&] { keys->Delete(&name, &done); }));
    if (done != VARIANT_TRUE) std::printf("note the library's delete failed\n");
    ::SysFreeString(name);
    keys->Release();
  };
  auto raw = [&] {
    MakeTree(top, fan, per);
    Sample(group, "RegDeleteTreeW", Time([&] { ::RegDeleteTreeW(HKEY_CURRENT_USER, top.c_str()); }));
  };
  Interleave(rounds, library, raw);
  std::printf("target %s RegDeleteTreeW 1.25\n", group.c_str());
  Drop(parent);
}

// The module's IDispatch::Invoke against the platform's ITypeInfo::Invoke
// on the same object, for Count (no argument) and Item(1) (one by value).
void InvokeCost(int rounds, int calls_per_sample) {
  std::wstring path = kBase + L"\\invoke";
  MakeValues(path, 10);
  _clsValues* values = Aimed<_clsValues>(vorn::guids::CLSID_clsValues, vorn::guids::IID__clsValues, path);
  ITypeInfo* info = nullptr;
  values->GetTypeInfo(0, 0, &info);
  LONG count = 0;
  values->get_Count(&count);  // loaded once; the calls below only read
  const int kCalls = calls_per_sample;
  VARIANT one;
  V_VT(&one) = VT_I4;
  V_I4(&one) = 1;
  const struct {
    const char* group;
    DISPID id;
    DISPPARAMS params;
  } calls[] = {{"invoke-Count", 0x68030002, {nullptr, nullptr, 0, 0}},
               {"invoke-Item(1)", DISPID_VALUE, {&one, nullptr, 1, 0}}};
  for (const auto& call : calls) {
    DISPPARAMS params = call.params;
    auto through = [&](bool platform) {
      return Time([&] {
        for (int i = 0; i < kCalls; ++i) {
          VARIANT result;
          ::VariantInit(&result);
          if (platform)
            info->Invoke(values, call.id, DISPATCH_PROPERTYGET, &params, &result, nullptr, nullptr);
          else
            values->Invoke(call.id, IID_NULL, 0, DISPATCH_PROPERTYGET, &params, &result, nullptr, nullptr);
          ::VariantClear(&result);
        }
      }) / kCalls;
    };
    Interleave(rounds, [&] { Sample(call.group, "IDispatch::Invoke", through(false)); },
               [&] { Sample(call.group, "ITypeInfo::Invoke", through(true)); });
    std::printf("target %s ITypeInfo::Invoke 1.15\n", call.group);
  }
  info->Release();
  values->Release();
  Drop(path);
}

// The values that GetValue reads: each type it decodes in turn (short
// text, expandable text, a DWORD, a QWORD, a list of three strings, 16
// bytes), and every hundredth a text of 602 bytes, longer than a first read
// of 512 bytes holds.
void MakeMixedValues(const std::wstring& path, int n) {
  Drop(path);
  HKEY key = Create(path);
  for (int i = 0; i < n; ++i) {
    std::wstring name = L"m" + std::to_wstring(i), number = std::to_wstring(i);
    auto set = [&](DWORD type, const void* data, size_t size) {
      ::RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size));
    };
    auto text = [&](DWORD type, const std::wstring& t) { set(type, t.c_str(), (t.size() + 1) * sizeof(wchar_t)); };
    if (i % 100 == 0) {
      text(REG_SZ, std::wstring(300 - number.size(), L'x') + number);
      continue;
    }
    switch (i % 6) {
      case 0: text(REG_SZ, L"text value " + number); break;
      case 1: {
        DWORD d = static_cast<DWORD>(i);
        set(REG_DWORD, &d, sizeof d);
        break;
      }
      case 2: text(REG_EXPAND_SZ, L"%SystemRoot%\\dir" + number); break;
      case 3: {
        ULONGLONG q = 0x100000000ULL * static_cast<ULONGLONG>(i) + 7;
        set(REG_QWORD, &q, sizeof q);
        break;
      }
      case 4: {
        std::wstring list = L"first" + number + L'\0' + L"second" + L'\0' + L"third" + L'\0' + L'\0';
        set(REG_MULTI_SZ, list.data(), list.size() * sizeof(wchar_t));
        break;
      }
      default: {
        BYTE bytes[16];
        for (int b = 0; b < 16; ++b) bytes[b] = static_cast<BYTE>(i + b);
        set(REG_BINARY, bytes, sizeof bytes);
      }
    }
  }
  ::RegCloseKey(key);
}

// Every value read once by name: clsValues.GetValue through IDispatch::Invoke
// (its result freed, as a client frees it), against the raw calls each read
// needs (vorn::bench::RawValueRead). Both sides have their names ready before
// the clock starts: the subject as BSTR arguments, the anchor as wide strings.
void GetValueReads(int n, int rounds) {
  std::wstring path = kBase + L"\\getvalue";
  std::string group = "getvalue-" + std::to_string(n);
  MakeMixedValues(path, n);
  _clsValues* values = Aimed<_clsValues>(vorn::guids::CLSID_clsValues, vorn::guids::IID__clsValues, path);
  std::vector<std::wstring> names;
  std::vector<VARIANT> arguments(n);
  for (int i = 0; i < n; ++i) {
    names.push_back(L"m" + std::to_wstring(i));
    V_VT(&arguments[i]) = VT_BSTR;
    V_BSTR(&arguments[i]) = ::SysAllocString(names.back().c_str());
  }
  int failed = 0;
  auto library = [&](int first, int end) {
    for (int i = first; i < end; ++i) {
      DISPPARAMS params{&arguments[i], nullptr, 1, 0};
      VARIANT result;
      ::VariantInit(&result);
      failed += FAILED(values->Invoke(VORN_DISPID_GETVALUE, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr,
                                      nullptr));
      ::VariantClear(&result);
    }
  };
  auto raw = [&](int first, int end) {
    for (int i = first; i < end; ++i)
      failed += vorn::bench::RawValueRead<Advapi32>(HKEY_CURRENT_USER, path.c_str(), names[i].c_str()) != 0;
  };
  raw(0, n);  // warms the registry's caches, and the module's
  library(0, n);
  if (failed) std::printf("note %s: %d reads failed\n", group.c_str(), failed);
  // A read is a few registry server round trips, which a burst of load on
  // the shared machine slows for a second or more: within each round the
  // two sides take turns over slices of 100 values, so that both meet the
  // same load, and each round's sample is a side's total.
  constexpr int kSlice = 100;
  for (int r = 0; r < rounds; ++r) {
    double subject = 0, anchor = 0;
    for (int first = 0, turn = r; first < n; first += kSlice, ++turn) {
      int end = std::min(n, first + kSlice);
      if (turn % 2) {
        anchor += Time([&] { raw(first, end); });
        subject += Time([&] { library(first, end); });
      } else {
        subject += Time([&] { library(first, end); });
        anchor += Time([&] { raw(first, end); });
      }
    }
    Sample(group, "library", subject);
    Sample(group, "raw-W-calls", anchor);
  }
  std::printf("target %s raw-W-calls 1.10\n", group.c_str());
  for (VARIANT& name : arguments) ::VariantClear(&name);
  values->Release();
  Drop(path);
}

// clsKey's security members through IDispatch::Invoke, per call, against
// the raw calls that each needs on the same key: GetSecurity("OGD") against
// an open with READ_CONTROL, RegGetKeySecurity and the converter;
// CheckAccess against an open with the mask and its close; AccessRules of
// four entries against that read and a LookupAccountSidW per entry; a Grant
// then a Revoke of one entry against two rounds of an open, the DACL's read,
// SetEntriesInAclW (GRANT_ACCESS, then REVOKE_ACCESS) and SetSecurityInfo.
void KeySecurity(int rounds, int calls) {
  const std::wstring path = kBase + L"\\security";
  Drop(path);
  ::RegCloseKey(Create(path));
  _clsKey* key = Aimed<_clsKey>(vorn::guids::CLSID_clsKey, vorn::guids::IID__clsKey, path);
  auto member = [&](DISPID id, WORD flags, std::vector<const wchar_t*> texts) {
    std::vector<VARIANT> args(texts.size());
    for (size_t i = 0; i < texts.size(); ++i)
      V_VT(&args[texts.size() - 1 - i]) = VT_BSTR, V_BSTR(&args[texts.size() - 1 - i]) = ::SysAllocString(texts[i]);
    DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
    VARIANT result;
    ::VariantInit(&result);
    key->Invoke(id, IID_NULL, 0, flags, &params, &result, nullptr, nullptr);
    ::VariantClear(&result);
    for (VARIANT& a : args) ::VariantClear(&a);
  };
  constexpr SECURITY_INFORMATION kOgd =
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  auto read = [&](REGSAM access, SECURITY_INFORMATION info, std::vector<BYTE>& sd) {
    HKEY k = nullptr;
    ::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, access, &k);
    DWORD size = static_cast<DWORD>(sd.size());
    ::RegGetKeySecurity(k, info, sd.data(), &size);
    return k;
  };
  auto dacl_of = [](std::vector<BYTE>& sd) {
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    ::GetSecurityDescriptorDacl(sd.data(), &present, &dacl, &defaulted);
    return dacl;
  };
  auto change = [&](ACCESS_MODE mode) {
    std::vector<BYTE> sd(4096);
    HKEY k = read(READ_CONTROL | WRITE_DAC, DACL_SECURITY_INFORMATION, sd);
    EXPLICIT_ACCESS_W entry{};
    entry.grfAccessPermissions = KEY_SET_VALUE;
    entry.grfAccessMode = mode;
    entry.grfInheritance = CONTAINER_INHERIT_ACE;
    entry.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
    entry.Trustee.ptstrName = const_cast<LPWSTR>(L"Users");
    PACL changed = nullptr;
    ::SetEntriesInAclW(1, &entry, dacl_of(sd), &changed);
    ::SetSecurityInfo(k, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, changed, nullptr);
    ::LocalFree(changed);
    ::RegCloseKey(k);
  };
  member(VORN_DISPID_SETSECURITY, DISPATCH_METHOD,
         {L"D:(D;;KW;;;AU)(A;CI;KA;;;BA)(A;;KR;;;BU)(A;;0x80000000;;;S-1-5-21-1-2-3-4)"});
  const struct {
    const char* group;
    std::function<void()> library, raw;
  } rows[] = {
      {"security-GetSecurity", [&] { member(VORN_DISPID_GETSECURITY, DISPATCH_METHOD, {L"OGD"}); },
       [&] {
         std::vector<BYTE> sd(4096);
         ::RegCloseKey(read(READ_CONTROL, kOgd, sd));
         LPWSTR text = nullptr;
         ::ConvertSecurityDescriptorToStringSecurityDescriptorW(sd.data(), SDDL_REVISION_1, kOgd, &text, nullptr);
         ::LocalFree(text);
       }},
      {"security-CheckAccess", [&] { member(VORN_DISPID_CHECKACCESS, DISPATCH_METHOD, {L"SetValue"}); },
       [&] {
         HKEY k = nullptr;
         if (!::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_SET_VALUE, &k)) ::RegCloseKey(k);
       }},
      {"security-AccessRules", [&] { member(VORN_DISPID_ACCESSRULES, DISPATCH_PROPERTYGET, {}); },
       [&] {
         std::vector<BYTE> sd(4096);
         ::RegCloseKey(read(READ_CONTROL, DACL_SECURITY_INFORMATION, sd));
         PACL dacl = dacl_of(sd);
         for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
           ACCESS_ALLOWED_ACE* ace = nullptr;
           ::GetAce(dacl, i, reinterpret_cast<void**>(&ace));
           wchar_t name[256], domain[256];
           DWORD name_size = 256, domain_size = 256;
           SID_NAME_USE use;
           ::LookupAccountSidW(nullptr, &ace->SidStart, name, &name_size, domain, &domain_size, &use);
         }
       }},
      {"security-Grant+Revoke",
       [&] {
         member(VORN_DISPID_GRANT, DISPATCH_METHOD, {L"Users", L"SetValue"});
         member(VORN_DISPID_REVOKE, DISPATCH_METHOD, {L"Users"});
       },
       [&] { change(GRANT_ACCESS), change(REVOKE_ACCESS); }},
  };
  for (const auto& row : rows) {
    auto per_call = [&](const std::function<void()>& body) {
      return Time([&] {
        for (int i = 0; i < calls; ++i) body();
      }) / calls;
    };
    Interleave(rounds, [&] { Sample(row.group, "IDispatch::Invoke", per_call(row.library)); },
               [&] { Sample(row.group, "raw-W-calls", per_call(row.raw)); });
  }
  key->Release();
  Drop(path);
}

// Find through IDispatch on HKLM\path (key names, value names and data;
// a pattern found in a few hundred places of the prefix's HKLM\Software),
// against the same search made with the raw calls
// (vorn::bench::RawTreeSearch), in interleaved rounds.
void FindSearch(const std::wstring& path, int rounds) {
  const std::string group = "find-HKLM\\" + std::string(path.begin(), path.end());
  _clsKey* key = New<_clsKey>(vorn::guids::CLSID_clsKey, vorn::guids::IID__clsKey);
  LONG root = static_cast<LONG>(0x80000002);
  BSTR p = ::SysAllocString(path.c_str());
  key->put_HKEY(&root);
  key->put_Path(&p);
  ::SysFreeString(p);
  VARIANT pattern;
  V_VT(&pattern) = VT_BSTR;
  V_BSTR(&pattern) = ::SysAllocString(L"system32");
  LONG hits = -1;
  size_t raw_hits = 0;
  auto library = [&] {
    DISPPARAMS params{&pattern, nullptr, 1, 0};
    VARIANT result;
    ::VariantInit(&result);
    if (SUCCEEDED(key->Invoke(VORN_DISPID_FIND, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr)))
      ::SafeArrayGetUBound(V_ARRAY(&result), 1, &hits), ++hits;
    ::VariantClear(&result);
  };
  auto raw = [&] {
    HKEY top = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &top)) return;
    raw_hits = vorn::bench::RawTreeSearch<Advapi32>(top, L"SYSTEM32");
    ::RegCloseKey(top);
  };
  library(), raw();  // the registry's caches warmed for both
  Interleave(
      rounds, [&] { Sample(group, "clsKey.Find", Time(library)); }, [&] { Sample(group, "raw-W-calls", Time(raw)); });
  std::printf("target %s raw-W-calls 1.10\nfigure %s-hits %ld\nfigure %s-raw-hits %zu\n", group.c_str(),
              group.c_str(), static_cast<long>(hits), group.c_str(), raw_hits);
  ::VariantClear(&pattern);
  key->Release();
}

}  // namespace

int main(int argc, char** argv) {
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  std::string command = argc > 1 ? argv[1] : "run";
  if (command == "make" && argc == 4) {
    std::string path = argv[2];
    MakeValues(std::wstring(path.begin(), path.end()), std::atoi(argv[3]));
  } else if (command == "drop" && argc == 3) {
    std::string path = argv[2];
    Drop(std::wstring(path.begin(), path.end()));
  } else if (command == "find") {
    std::string path = argc > 2 ? argv[2] : "Software";
    FindSearch(std::wstring(path.begin(), path.end()), argc > 3 ? std::max(1, std::atoi(argv[3])) : 9);
  } else if (command == "getvalue") {
    GetValueReads(argc > 2 ? std::atoi(argv[2]) : 10000, argc > 3 ? std::max(1, std::atoi(argv[3])) : 9);
    Drop(kBase);
  } else if (command == "run") {
    std::vector<int> sizes;
    for (const char* p = argc > 2 ? argv[2] : "1000,10000,100000"; *p;) {
      char* end = nullptr;
      sizes.push_back(static_cast<int>(std::strtol(p, &end, 10)));
      p = *end ? end + 1 : end;
    }
    int rounds = argc > 3 ? std::atoi(argv[3]) : 9;
    if (rounds < 1) rounds = 1;
    int divisor = argc > 4 ? std::max(1, std::atoi(argv[4])) : 1;
    // The largest size takes seconds per load under Wine: three rounds.
    for (int n : sizes) ValuesLoad(n, n >= 100000 ? std::min(rounds, 3) : rounds);
    SubKeysLoad(std::max(1, 1000 / divisor), rounds);
    TreeDelete(rounds, 10, std::max(1, 99 / divisor));
    InvokeCost(rounds, std::max(1, 100000 / divisor));
    GetValueReads(std::max(1, 10000 / divisor), rounds);
    KeySecurity(rounds, std::max(1, 1000 / divisor));
    FindSearch(divisor > 1 ? L"Software\\Microsoft\\Windows" : L"Software", rounds);
    Drop(kBase);
  } else if (command == "security") {
    KeySecurity(argc > 2 ? std::max(1, std::atoi(argv[2])) : 9, argc > 3 ? std::max(1, std::atoi(argv[3])) : 1000);
    Drop(kBase);
  } else {
    std::fprintf(stderr,
                 "usage: vorn_bench.exe run [SIZES [ROUNDS [DIVISOR]]] | getvalue [N [ROUNDS]] | security [ROUNDS [CALLS]] | "
                 "find [PATH [ROUNDS]] | make PATH N | drop PATH\n");
    return 2;
  }
  ::CoUninitialize();
  return 0;
}
