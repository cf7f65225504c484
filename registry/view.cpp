// Registry views: the numbers clients use, the access flags, and the View
// property.
#include "registry/view.h"

#include <climits>

#include "automation/arguments.h"
#include "automation/errors.h"

namespace vorn::registry {

bool ViewFromNumber(LONG number, REGSAM& view) noexcept {
  switch (number) {
    case 0: view = 0; return true;
    case 32: view = KEY_WOW64_32KEY; return true;
    case 64: view = KEY_WOW64_64KEY; return true;
    default: return false;
  }
}

LONG ViewNumber(REGSAM view) noexcept {
  return view == KEY_WOW64_32KEY ? 32 : view == KEY_WOW64_64KEY ? 64 : 0;
}

REGSAM View(const VARIANT& value) {
  REGSAM view = 0;
  try {
    if (ViewFromNumber(static_cast<LONG>(arguments::Signed(value, INT_MIN, INT_MAX, L"View")), view)) return view;
  } catch (const Error&) {
  }
  throw Error(errors::kInvalidProcedureCall,
              L"View must be 0 (the module's own registry view), 32 (the 32-bit view) or 64 (the 64-bit view)");
}

void ServeView(ExtraCall& call, REGSAM& view) {
  if (call.put) {
    view = View(*call.arguments[0]);
    return;
  }
  V_VT(&call.result.ref()) = VT_I4;
  V_I4(&call.result.ref()) = ViewNumber(view);
}

}  // namespace vorn::registry
