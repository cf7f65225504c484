// The unit tests' binding of the registry seam: every call reaches the real
// registry (of the Wine prefix) unless the fault rule answers it first, and is
// recorded, with a count of the handles that are open. The unit tests run on
// one thread, so the recorder needs no lock.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vorn::test {

enum class Fn { OpenKeyEx, CloseKey, EnumKeyEx, EnumValue, QueryValueEx, SetValueEx, DeleteValue, CreateKey,
                CreateKeyEx, NotifyChangeKeyValue, RenameKey, QueryInfoKey, GetKeySecurity, SetSecurityInfo,
                DeleteOpenKey };

struct Call {
  Call(Fn f, LPCWSTR n = nullptr, DWORD i = 0) : fn(f), name(n ? n : L""), index(i) {}
  Fn fn;
  std::wstring name;  // sub-key, value name or path; DeleteOpenKey: what its handle was opened by
  std::wstring new_name;  // RenameKey
  DWORD index = 0;    // enumeration index; the parts asked of GetKeySecurity and SetSecurityInfo
  REGSAM access = 0;  // OpenKeyEx, CreateKeyEx
  DWORD type = 0;     // SetValueEx
  std::string data;   // SetValueEx: the bytes passed
  LONG status = 0;    // what the call returned
};

struct Recorder {
  // Defined beside the binding, so that every test program that uses the
  // recorder links the binding too (vorn_core leaves the seam unbound).
  static Recorder& Get();
  // Forgets the calls and the fault rule (open handles are still counted).
  void Reset() { calls.clear(), fault = nullptr, value_index = nullptr, sub_key_name = nullptr; }
  size_t CountOf(Fn fn) const {
    size_t n = 0;
    for (const Call& c : calls) n += c.fn == fn;
    return n;
  }
  // Every call of fn for which `which` holds (all when it is empty) returns status.
  void Fail(Fn fn, LONG status, std::function<bool(const Call&)> which = {}) {
    fault = [=](const Call& c) -> std::optional<LONG> {
      return c.fn == fn && (!which || which(c)) ? std::optional<LONG>(status) : std::nullopt;
    };
  }
  // The nth (1-based) call of fn from now on returns status.
  void FailNth(Fn fn, int nth, LONG status) {
    auto seen = std::make_shared<int>(0);
    Fail(fn, status, [=](const Call&) { return ++*seen == nth; });
  }

  std::vector<Call> calls;
  // Sees each call before the registry does; a status it returns is the
  // call's result and the registry is not called.
  std::function<std::optional<LONG>(const Call&)> fault;
  // When set, RegEnumValueW at index i answers as the registry does at
  // value_index(i) (to list one value twice, say). Reset clears it.
  std::function<DWORD(DWORD)> value_index;
  // When set, each name RegEnumKeyExW returns passes through it (to give one
  // a zero character, as the native API can). Reset clears it.
  std::function<void(wchar_t* name, DWORD length)> sub_key_name;
  int open_handles = 0;  // opened or created and not yet closed
};

// Whether RenameKeyW reaches the platform's RegRenameKey: not under Wine,
// nor where the platform has none.
bool PlatformRenamesKeys();

}  // namespace vorn::test
