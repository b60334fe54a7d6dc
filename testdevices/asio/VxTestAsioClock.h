// The clock of the test driver's time stamps: QueryPerformanceCounter in
// nanoseconds. bufferSwitchTimeInfo's system time and getSamplePosition's time
// stamp use it, so a host can measure how long after the driver's switch its
// data arrived. Header only, Windows only, any thread.
#pragma once

#include <windows.h>

#include <cstdint>

inline uint64_t VxTestAsioNanoseconds() {
  LARGE_INTEGER now, frequency;
  ::QueryPerformanceCounter(&now);
  ::QueryPerformanceFrequency(&frequency);
  const uint64_t seconds = static_cast<uint64_t>(now.QuadPart / frequency.QuadPart);
  const uint64_t rest = static_cast<uint64_t>(now.QuadPart % frequency.QuadPart);
  return seconds * 1000000000ull + rest * 1000000000ull / static_cast<uint64_t>(frequency.QuadPart);
}
