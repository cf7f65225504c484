// Counts the library's live objects and the locks on its class objects, so
// that the module can tell whether it may be unloaded.
#pragma once

#include <windows.h>

namespace vorn::module_count {

void Increment() noexcept;
void Decrement() noexcept;
LONG Value() noexcept;

}  // namespace vorn::module_count
