#include "support/registry_recording.h"

#include <memory>
#include <mutex>

#include "platform/registry_api.h"

namespace vorn::test {

struct Recorder::State {
  std::mutex lock;
  std::vector<Call> calls;
  Rule rule;
  int open_handles = 0;
};

Recorder& Recorder::Get() {
  static Recorder recorder;
  return recorder;
}

Recorder::State& Recorder::state() const {
  static State s;
  return s;
}

void Recorder::Reset() {
  std::lock_guard<std::mutex> g(state().lock);
  state().calls.clear();
  state().rule = nullptr;
}

void Recorder::SetFault(Rule rule) {
  std::lock_guard<std::mutex> g(state().lock);
  state().rule = std::move(rule);
}

void Recorder::FailNth(Fn fn, int nth, LONG status) {
  auto seen = std::make_shared<int>(0);
  SetFault([=](const Call& c) -> std::optional<LONG> {
    if (c.fn == fn && ++*seen == nth) return status;
    return std::nullopt;
  });
}

void Recorder::FailNamed(Fn fn, const std::string& name, LONG status) {
  SetFault([=](const Call& c) -> std::optional<LONG> {
    if (c.fn == fn && _stricmp(c.name.c_str(), name.c_str()) == 0) return status;
    return std::nullopt;
  });
}

std::vector<Call> Recorder::Calls() const {
  std::lock_guard<std::mutex> g(state().lock);
  return state().calls;
}

size_t Recorder::CountOf(Fn fn) const {
  std::lock_guard<std::mutex> g(state().lock);
  size_t n = 0;
  for (const Call& c : state().calls) n += c.fn == fn;
  return n;
}

int Recorder::OpenHandles() const {
  std::lock_guard<std::mutex> g(state().lock);
  return state().open_handles;
}

std::optional<LONG> Recorder::Intercept(const Call& call) {
  Rule rule;
  {
    std::lock_guard<std::mutex> g(state().lock);
    rule = state().rule;
  }
  return rule ? rule(call) : std::nullopt;
}

void Recorder::Record(Call call) {
  std::lock_guard<std::mutex> g(state().lock);
  state().calls.push_back(std::move(call));
}

void Recorder::HandleOpened() {
  std::lock_guard<std::mutex> g(state().lock);
  ++state().open_handles;
}

void Recorder::HandleClosed() {
  std::lock_guard<std::mutex> g(state().lock);
  --state().open_handles;
}

}  // namespace vorn::test

namespace vorn::registry::api {

using test::Call;
using test::Fn;
using test::Recorder;

namespace {

// Runs the real call unless a fault rule answers first, and records it.
template <typename Real>
LSTATUS Through(Call call, Real&& real) {
  Recorder& r = Recorder::Get();
  std::optional<LONG> injected = r.Intercept(call);
  call.status = injected ? *injected : real();
  r.Record(call);
  return call.status;
}

std::string Text(LPCSTR s) { return s ? std::string(s) : std::string(); }

}  // namespace

LSTATUS OpenKeyExA(HKEY root, LPCSTR sub_key, DWORD options, REGSAM access, PHKEY result) {
  Call c(Fn::OpenKeyEx, Text(sub_key));
  c.access = access;
  LSTATUS s = Through(c, [&] { return ::RegOpenKeyExA(root, sub_key, options, access, result); });
  if (s == ERROR_SUCCESS) Recorder::Get().HandleOpened();
  return s;
}

LSTATUS CloseKey(HKEY key) {
  LSTATUS s = Through(Call(Fn::CloseKey), [&] { return ::RegCloseKey(key); });
  Recorder::Get().HandleClosed();
  return s;
}

LSTATUS EnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD name_length, LPDWORD reserved, LPSTR class_name,
                   LPDWORD class_length, PFILETIME last_write) {
  Call c(Fn::EnumKeyEx);
  c.index = index;
  return Through(c, [&] {
    return ::RegEnumKeyExA(key, index, name, name_length, reserved, class_name, class_length, last_write);
  });
}

LSTATUS EnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD name_length, LPDWORD reserved, LPDWORD type,
                   LPBYTE data, LPDWORD data_size) {
  Call c(Fn::EnumValue);
  c.index = index;
  return Through(c, [&] { return ::RegEnumValueA(key, index, name, name_length, reserved, type, data, data_size); });
}

LSTATUS QueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD data_size) {
  return Through(Call(Fn::QueryValueEx, Text(name)),
                 [&] { return ::RegQueryValueExA(key, name, reserved, type, data, data_size); });
}

LSTATUS SetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD data_size) {
  Call c(Fn::SetValueEx, Text(name));
  c.type = type;
  if (data) c.data.assign(reinterpret_cast<const char*>(data), data_size);
  return Through(c, [&] { return ::RegSetValueExA(key, name, reserved, type, data, data_size); });
}

LSTATUS DeleteValueA(HKEY key, LPCSTR name) {
  return Through(Call(Fn::DeleteValue, Text(name)), [&] { return ::RegDeleteValueA(key, name); });
}

LSTATUS CreateKeyA(HKEY key, LPCSTR sub_key, PHKEY result) {
  LSTATUS s = Through(Call(Fn::CreateKey, Text(sub_key)), [&] { return ::RegCreateKeyA(key, sub_key, result); });
  if (s == ERROR_SUCCESS) Recorder::Get().HandleOpened();
  return s;
}

LSTATUS DeleteKeyA(HKEY root, LPCSTR sub_key) {
  return Through(Call(Fn::DeleteKey, Text(sub_key)), [&] { return ::RegDeleteKeyA(root, sub_key); });
}

LSTATUS FlushKey(HKEY key) { return ::RegFlushKey(key); }

}  // namespace vorn::registry::api
