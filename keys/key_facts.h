// A key's facts as RegQueryInfoKeyW reports them now, without loading the
// collections: LastWriteTime (a Date in local time), SubKeyCount and
// ValueCount, read-only members of the key object beyond the type library.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include "automation/ownership.h"

namespace vorn::key_facts {

// The fact that the member with dispatch identifier which (one of the three
// above) names, of the key root\path in view, read when called. A key that
// cannot be opened is an error naming it (0x80070002 when it does not
// exist).
unique_variant Read(DISPID which, LONG root, BSTR path, REGSAM view);

// A FILETIME, taken as it is (no zone is applied), as an automation Date,
// rounded to the nearest millisecond (what a Date holds).
DATE DateFromFileTime(const FILETIME& time) noexcept;

}  // namespace vorn::key_facts
