// The key facts: one open and one RegQueryInfoKeyW per read, and the time
// turned into a Date in local time, as FileSystemObject gives a file's
// DateLastModified.
#include "keys/key_facts.h"

#include "automation/errors.h"
#include "contract/interfaces.h"
#include "registry/root_names.h"
#include "registry/service.h"
#include "trees/copy_steps.h"

namespace vorn::key_facts {

DATE DateFromFileTime(const FILETIME& time) noexcept {
  constexpr LONGLONG kMillisecondsPerDay = 86400000;
  constexpr LONGLONG kDaysFrom1601To1899 = 109205;  // 1601-01-01 to 1899-12-30, day 0 of a Date
  const ULONGLONG ticks = static_cast<ULONGLONG>(time.dwHighDateTime) << 32 | time.dwLowDateTime;  // 100 ns
  const LONGLONG milliseconds = static_cast<LONGLONG>((ticks + 5000) / 10000) - kDaysFrom1601To1899 * kMillisecondsPerDay;
  LONGLONG days = milliseconds / kMillisecondsPerDay, into_day = milliseconds % kMillisecondsPerDay;
  if (into_day < 0) into_day += kMillisecondsPerDay, --days;
  // Before day 0 a Date counts the days down and the time of day up: -1.25
  // is 1899-12-29 06:00.
  const double fraction = static_cast<double>(into_day) / kMillisecondsPerDay;
  return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

unique_variant Read(DISPID which, LONG root, BSTR path, REGSAM view) {
  unique_hkey key;
  DWORD sub_keys = 0, values = 0;
  FILETIME written{};
  LONG status = registry::OpenKey(root, path, KEY_QUERY_VALUE | view, key);
  if (status == registry::kSuccess) status = registry::QueryCounts(key.get(), sub_keys, values, &written);
  if (status)
    trees::Failed(status, registry::KeyDisplayName(root, {path ? path : L"", ::SysStringLen(path)}), L"cannot be read");
  unique_variant result;
  if (which == VORN_DISPID_LASTWRITETIME) {
    FILETIME local{};
    if (!::FileTimeToLocalFileTime(&written, &local)) Raise(errors::kOverflow);
    V_VT(&result.ref()) = VT_DATE;
    V_DATE(&result.ref()) = DateFromFileTime(local);
  } else {
    V_VT(&result.ref()) = VT_I4;
    V_I4(&result.ref()) = static_cast<LONG>(which == VORN_DISPID_SUBKEYCOUNT ? sub_keys : values);
  }
  return result;
}

}  // namespace vorn::key_facts
