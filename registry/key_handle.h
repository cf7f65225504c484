// unique_hkey: an open registry key, closed through the registry service
// (so that tests can count handles) on every path.
#pragma once

#include <windows.h>

#include "support/unique_any.h"

namespace vorn {

namespace registry {
// Closes a handle through the registry service (so tests can count handles).
LONG CloseKey(HKEY key) noexcept;
}  // namespace registry

struct hkey_traits {
  using type = HKEY;
  static HKEY invalid() noexcept { return nullptr; }
  static bool is_invalid(HKEY h) noexcept { return h == nullptr; }
  static void close(HKEY h) noexcept { registry::CloseKey(h); }
};

using unique_hkey = unique_any<hkey_traits>;

}  // namespace vorn
