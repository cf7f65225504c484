// Registry views as clients name them (0, the module's own; 32; 64) and as
// the access flag that every open in that view carries, with the View
// property that each class serves beyond the type library.
#pragma once

#include <windows.h>

#include "automation/dispatch.h"

namespace vorn::registry {

// 0 is the module's own view (every call exactly as without a view); 32 and
// 64 are KEY_WOW64_32KEY and KEY_WOW64_64KEY. False for any other number.
bool ViewFromNumber(LONG number, REGSAM& view) noexcept;
LONG ViewNumber(REGSAM view) noexcept;

// A View argument as the access flag; anything but 0, 32 or 64 is refused
// with error 5.
REGSAM View(const VARIANT& value);
// Serves a View property: a read returns the number as a Long, an
// assignment stores the view, or refuses it and changes nothing.
void ServeView(ExtraCall& call, REGSAM& view);

}  // namespace vorn::registry
