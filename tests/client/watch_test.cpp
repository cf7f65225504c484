// clsKey.WaitForChange as a C++ client on a single-threaded apartment calls
// it, with the writer another process (watch_writer.exe). The time bounds
// are the member's documented ones; the waits around them are generous.
#include <gtest/gtest.h>

#include <functional>

#include "client_support.h"
#include "support/clock.h"

namespace client {
namespace {

constexpr DISPID kPath = 0x68030001, kHkey = 0x68030002, kValues = 0x40030003;

using vorn::clock::Ticks;
double Millis(LONGLONG ticks) { return 1000.0 * vorn::clock::Seconds(ticks); }

// Runs watch_writer.exe, which after delay ms stores the counter's reading
// of its write as the REG_QWORD value "stamp" of HKCU\path.
struct Writer {
  PROCESS_INFORMATION process{};
  Writer(const std::wstring& path, DWORD delay) {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring exe = self;
    exe = exe.substr(0, exe.find_last_of(L"\\/") + 1) + L"watch_writer.exe";
    std::wstring line = L"\"" + exe + L"\" \"" + path + L"\" stamp " + std::to_wstring(delay);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    EXPECT_TRUE(::CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                 &process));
  }
  bool Finish() {
    DWORD code = 1;
    if (!process.hProcess || ::WaitForSingleObject(process.hProcess, 60000)) return false;
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hProcess), ::CloseHandle(process.hThread);
    process = {};
    return code == 0;
  }
  ~Writer() { Finish(); }
};

void WriteNow(const std::wstring& path) { EXPECT_TRUE(Writer(path, 0).Finish()) << "the writer failed"; }

LONGLONG Stamp(const std::wstring& path) {
  LONGLONG stamp = 0;
  DWORD size = sizeof stamp;
  EXPECT_EQ(0, ::RegGetValueW(HKEY_CURRENT_USER, path.c_str(), L"stamp", RRF_RT_REG_QWORD, nullptr, &stamp, &size));
  return stamp;
}

// The handles this process holds. Wine 8's GetProcessHandleCount answers 0;
// its list of the system's handles (information class 16) is complete.
DWORD Handles() {
  DWORD count = 0;
  if (::GetProcessHandleCount(::GetCurrentProcess(), &count) && count) return count;
  struct Entry {
    ULONG process;
    BYTE type, flags;
    USHORT value;
    void* object;
    ULONG access;
  };
  using Query = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
  auto query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  std::vector<BYTE> list(1 << 16);
  LONG status = 0;
  while (query && (status = query(16, list.data(), static_cast<ULONG>(list.size()), nullptr)) ==
                      static_cast<LONG>(0xC0000004))  // too small
    list.resize(list.size() * 2);
  if (!query || status) return 0;
  const ULONG n = *reinterpret_cast<ULONG*>(list.data());
  const Entry* entries = reinterpret_cast<const Entry*>(list.data() + sizeof(void*));
  for (ULONG i = 0; i < n; ++i) count += entries[i].process == ::GetCurrentProcessId();
  return count;
}

Variant Truth(bool b) {
  Variant v;
  V_VT(&v) = VT_BOOL, V_BOOL(&v) = b ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

Variant Number(double d) {
  Variant v;
  V_VT(&v) = VT_R8, V_R8(&v) = d;
  return v;
}

// Each test watches a scratch key with a sub-key "child".
struct Watch : ::testing::Test {
  ScratchKey scratch;
  ComPtr<IDispatch> key = NewKey(scratch.path);
  std::wstring description;

  Watch() { scratch.Make(L"child"); }
  ComPtr<IDispatch> NewKey(const std::wstring& path) {
    ComPtr<IDispatch> k = Create<IDispatch>(CLSID_clsKey, IID_IDispatch);
    EXPECT_TRUE(k);
    if (k) {
      EXPECT_EQ(S_OK, Invoke(k.Get(), kHkey, kPut, {kCurrentUser}));
      Point(k.Get(), path);
    }
    return k;
  }
  static void Point(IDispatch* k, const std::wstring& path) { EXPECT_EQ(S_OK, Invoke(k, kPath, kPut, {path})); }
  // WaitForChange(args...) on k: S_OK and changed, or the error's number,
  // with its description in `description`.
  HRESULT Wait(std::vector<Variant> args, bool* changed = nullptr, IDispatch* k = nullptr) {
    k = k ? k : key.Get();
    LPOLESTR name[] = {const_cast<LPOLESTR>(L"WaitForChange")};
    DISPID id = DISPID_UNKNOWN;
    EXPECT_EQ(S_OK, k->GetIDsOfNames(IID_NULL, name, 1, LOCALE_USER_DEFAULT, &id));
    std::vector<Variant> reversed(args.rbegin(), args.rend());
    DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    Variant result;
    EXCEPINFO error{};
    HRESULT hr = k->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kCall, &params, &result, &error, nullptr);
    description = error.bstrDescription ? error.bstrDescription : L"";
    ::SysFreeString(error.bstrDescription), ::SysFreeString(error.bstrSource), ::SysFreeString(error.bstrHelpFile);
    if (hr == DISP_E_EXCEPTION) return error.scode;
    if (changed) *changed = V_VT(&result) == VT_BOOL && V_BOOL(&result) == VARIANT_TRUE;
    EXPECT_EQ(VT_BOOL, V_VT(&result));
    return hr;
  }
  bool Changed(std::vector<Variant> args, IDispatch* k = nullptr) {
    bool changed = false;
    EXPECT_EQ(S_OK, Wait(std::move(args), &changed, k)) << Narrow(description);
    return changed;
  }
  static std::string Narrow(const std::wstring& s) { return std::string(s.begin(), s.end()); }
};

TEST_F(Watch, AWriteOfAnotherProcessEndsTheWaitAndNoWriteRunsTheTimeoutOut) {
  Writer writer(scratch.path, 1000);
  EXPECT_TRUE(Changed({60000L}));
  const LONGLONG returned = Ticks();
  ASSERT_TRUE(writer.Finish());
  EXPECT_LE(Millis(returned - Stamp(scratch.path)), 500.0) << "after the write";

  LONGLONG start = Ticks();
  EXPECT_FALSE(Changed({0L}));
  EXPECT_LE(Millis(Ticks() - start), 500.0) << "0 only checks";
  start = Ticks();
  EXPECT_FALSE(Changed({2000L}));
  const double waited = Millis(Ticks() - start);
  EXPECT_GE(waited, 1980.0);
  EXPECT_LE(waited, 2200.0);
}

TEST_F(Watch, ChangesBelowTheKeyCountWithSubtreeOnly) {
  ComPtr<IDispatch> deep = NewKey(scratch.path);
  EXPECT_FALSE(Changed({0L}));
  EXPECT_FALSE(Changed({0L, Truth(true)}, deep.Get()));
  WriteNow(scratch.Below(L"child"));
  EXPECT_FALSE(Changed({0L}));
  EXPECT_TRUE(Changed({0L, Truth(true)}, deep.Get()));
  // Another Subtree arms afresh: the write before it is not reported, the next one is.
  EXPECT_FALSE(Changed({0L, Truth(true)}));
  WriteNow(scratch.Below(L"child"));
  EXPECT_TRUE(Changed({0L, Truth(true)}));
  // A sub-key deleted is a change of its parent, also without Subtree: how
  // to see a key go under Wine, which does not tell the key's own watchers.
  EXPECT_FALSE(Changed({0L}, deep.Get()));
  ASSERT_EQ(0, ::RegDeleteTreeW(HKEY_CURRENT_USER, scratch.Below(L"child").c_str()));
  EXPECT_TRUE(Changed({0L}, deep.Get()));
}

TEST_F(Watch, AChangeBetweenCallsIsReportedAtOnceAlsoTheObjectsOwn) {
  EXPECT_FALSE(Changed({0L}));
  WriteNow(scratch.path);
  LONGLONG start = Ticks();
  EXPECT_TRUE(Changed({60000L}));
  EXPECT_LE(Millis(Ticks() - start), 500.0);

  Variant values, added;
  ASSERT_EQ(S_OK, Invoke(key.Get(), kValues, kGet, {}, &values));
  LPOLESTR add[] = {const_cast<LPOLESTR>(L"Add")};
  DISPID add_id = 0;
  ASSERT_EQ(S_OK, V_DISPATCH(&values)->GetIDsOfNames(IID_NULL, add, 1, LOCALE_USER_DEFAULT, &add_id));
  ASSERT_EQ(S_OK, Invoke(V_DISPATCH(&values), add_id, kCall, {L"own", L"text", 1}, &added));
  start = Ticks();
  EXPECT_TRUE(Changed({60000L}));
  EXPECT_LE(Millis(Ticks() - start), 500.0);
  EXPECT_FALSE(Changed({0L})) << "re-armed, and quiet since";
}

TEST_F(Watch, AssigningAnotherPathMovesTheWatchAndTheSamePathKeepsIt) {
  EXPECT_FALSE(Changed({0L}));
  Point(key.Get(), scratch.Below(L"child"));
  EXPECT_FALSE(Changed({0L}));
  WriteNow(scratch.path);
  EXPECT_FALSE(Changed({0L})) << "a change of the key watched before";
  WriteNow(scratch.Below(L"child"));
  EXPECT_TRUE(Changed({0L}));
  Point(key.Get(), scratch.Below(L"child"));
  WriteNow(scratch.Below(L"child"));
  EXPECT_TRUE(Changed({0L})) << "the same path again: still armed";
}

TEST_F(Watch, RefusesBadArgumentsAndMissingKeysWithADescription) {
  Variant null, object(key.Get());
  V_VT(&null) = VT_NULL;
  const Variant bad[] = {-2L, Number(1.5), Number(-1e30), L"soon", null, Variant(), object};
  for (const Variant& timeout : bad) {
    EXPECT_EQ(static_cast<HRESULT>(0x800A0005), Wait({timeout})) << V_VT(&timeout);
    EXPECT_NE(std::wstring::npos, description.find(L"TimeoutMs"));
  }
  EXPECT_EQ(static_cast<HRESULT>(0x800A000D), Wait({0L, L"maybe"}));
  EXPECT_NE(std::wstring::npos, description.find(L"Subtree"));
  EXPECT_FALSE(Changed({L"0", Number(1)})) << "decimal text and a number for True";

  Point(key.Get(), scratch.Below(L"absent"));
  EXPECT_EQ(static_cast<HRESULT>(0x80070002), Wait({-1L}));
  EXPECT_NE(std::wstring::npos, description.find(L"does not exist")) << Narrow(description);
}

TEST_F(Watch, NoHandleIsLeftOverByArmingDisarmingOrReleasing) {
  const std::wstring paths[] = {scratch.path, scratch.Below(L"child")};
  auto cycles = [&](int n) {
    for (int i = 0; i < n; ++i) {
      Point(key.Get(), paths[i % 2]);
      EXPECT_FALSE(Changed({0L}));
    }
    for (int i = 0; i < n / 10; ++i) EXPECT_FALSE(Changed({0L}, NewKey(paths[i % 2]).Get()));  // released armed
  };
  cycles(20);
  const DWORD before = Handles();
  ASSERT_GT(before, 0u);
  cycles(1000);
  EXPECT_LE(Handles(), before);
}

DWORD WINAPI RunOnSecondSta(void* body) {
  EXPECT_EQ(S_OK, ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  (*static_cast<std::function<void()>*>(body))();
  return ::CoUninitialize(), 0;
}

// A second apartment reads the waiting object's Path (served only while this
// apartment serves calls in its wait), then writes; later it assigns another
// Path, which ends the wait with an error rather than a wrong answer.
TEST_F(Watch, TheWaitingApartmentServesCallsFromAnother) {
  ComPtr<IStream> stream;
  ASSERT_EQ(S_OK, ::CoMarshalInterThreadInterfaceInStream(IID_IDispatch, key.Get(), &stream));
  HANDLE next = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
  Variant path;
  std::function<void()> body = [&] {
    ComPtr<IDispatch> remote;
    ASSERT_EQ(S_OK, ::CoGetInterfaceAndReleaseStream(stream.Detach(), IID_IDispatch, &remote));
    ::Sleep(300);
    EXPECT_EQ(S_OK, Invoke(remote.Get(), kPath, kGet, {}, &path));
    WriteNow(scratch.path);
    ::WaitForSingleObject(next, 60000);
    ::Sleep(300);
    EXPECT_EQ(S_OK, Invoke(remote.Get(), kPath, kPut, {scratch.Below(L"child")}));
  };
  HANDLE thread = ::CreateThread(nullptr, 0, RunOnSecondSta, &body, 0, nullptr);
  ASSERT_TRUE(thread);
  EXPECT_TRUE(Changed({20000L})) << "the read from the other apartment was not served during the wait";
  EXPECT_EQ(scratch.path, path.Text());
  ::SetEvent(next);
  EXPECT_EQ(static_cast<HRESULT>(0x800A0005), Wait({20000L}));
  EXPECT_NE(std::wstring::npos, description.find(L"while it waited")) << Narrow(description);
  DWORD index = 0;
  EXPECT_EQ(S_OK, ::CoWaitForMultipleHandles(0, 60000, 1, &thread, &index));
  ::CloseHandle(thread), ::CloseHandle(next);
  EXPECT_FALSE(Changed({0L})) << "armed afresh on the new path";
}

}  // namespace
}  // namespace client
