// A performance-counter clock: a reading, and the time between two readings,
// for the programs that time a wait or a run (the watch test, benchmarks).
#pragma once

#include <windows.h>

namespace vorn::clock {

inline LONGLONG Ticks() noexcept {
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  return now.QuadPart;
}

// ticks (a difference of two readings) in seconds.
inline double Seconds(LONGLONG ticks) noexcept {
  LARGE_INTEGER frequency;
  ::QueryPerformanceFrequency(&frequency);
  return static_cast<double>(ticks) / static_cast<double>(frequency.QuadPart);
}

}  // namespace vorn::clock
