// The module's count of live objects and class-object locks.
#include "automation/module_count.h"

namespace vorn::module_count {

namespace {
// Objects of several apartments may come and go at once: interlocked.
LONG volatile g_count = 0;
}  // namespace

void Increment() noexcept { ::InterlockedIncrement(&g_count); }
void Decrement() noexcept { ::InterlockedDecrement(&g_count); }
LONG Value() noexcept { return ::InterlockedCompareExchange(&g_count, 0, 0); }

}  // namespace vorn::module_count
