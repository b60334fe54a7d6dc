// VxPreciseTimer: sleeps of about the milliseconds asked on a machine whose
// timer runs at its default 15.6 ms tick, where a plain Sleep(1) lasts a whole
// tick.
//
// It waits on a high-resolution waitable timer (Windows 10 1803 and later).
// Where the system refuses such a timer, it raises the system timer resolution
// to 1 ms with timeBeginPeriod(1) for its own lifetime and sleeps plainly.
// Create and use it on one thread; it owns a kernel handle or a timer period,
// so keep it for a whole loop rather than one per sleep. Windows only.
#pragma once

#include <windows.h>

#include "foundation/VxHandle.h"

class VxPreciseTimer {
 public:
  VxPreciseTimer() noexcept;
  ~VxPreciseTimer();
  VxPreciseTimer(const VxPreciseTimer&) = delete;
  VxPreciseTimer& operator=(const VxPreciseTimer&) = delete;

  // Waits `ms` milliseconds (at least; 0 yields the processor).
  void Sleep(DWORD ms) noexcept;

 private:
  VxHandle timer_;
  bool periodRaised_ = false;
};
