// The timer of Windows as it ships, in this process, while the object lives:
// `Sleep` of n > 0 ms lasts n rounded up to whole ticks of 15.625 ms (so
// Sleep(1) lasts 15.6 ms), unless some thread holds `timeBeginPeriod(1)`, in
// which case ticks are 1 ms, as on Windows. Wine's timer is exact to the
// millisecond, so code that counts sleeps instead of watching a clock only
// shows its fault with this in place. Waits on kernel objects and waitable
// timers keep Wine's own timing (a high-resolution timer is exact on Windows
// too). With `grantPeriods` false, timeBeginPeriod is refused, as it may be
// under a power policy. Install and remove it while no other thread sleeps.
#pragma once

#include <windows.h>

#include <atomic>
#include <cmath>

#include "tests/support/VxFunctionPatch.h"

class VxWindowsClock {
 public:
  static constexpr double kDefaultTickMs = 15.625;

  explicit VxWindowsClock(bool grantPeriods = true)
      : sleep_(L"kernel32.dll", "Sleep", reinterpret_cast<void*>(&TickSleep)),
        begin_(L"winmm.dll", "timeBeginPeriod", reinterpret_cast<void*>(&BeginPeriod)),
        end_(L"winmm.dll", "timeEndPeriod", reinterpret_cast<void*>(&EndPeriod)) {
    periods_.store(0);
    grantPeriods_.store(grantPeriods);
  }
  bool Installed() const { return sleep_.Installed() && begin_.Installed() && end_.Installed(); }
  // Periods begun and not yet ended.
  static int OpenPeriods() { return periods_.load(); }

  // How long a sleep of `ms` lasts at the current tick.
  static double SleepMs(DWORD ms) {
    const double tick = periods_.load() > 0 ? 1.0 : kDefaultTickMs;
    return std::ceil(ms / tick) * tick;
  }

 private:
  static void WINAPI TickSleep(DWORD ms) {
    if (ms == 0) {
      ::SwitchToThread();
      return;
    }
    static HANDLE never = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    LARGE_INTEGER frequency, now;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&now);
    const double end = now.QuadPart + SleepMs(ms) * frequency.QuadPart / 1000.0;
    for (;;) {
      ::QueryPerformanceCounter(&now);
      const double left = (end - now.QuadPart) * 1000.0 / frequency.QuadPart;
      if (left <= 0)
        return;
      ::WaitForSingleObject(never, static_cast<DWORD>(std::ceil(left)));
    }
  }
  // Only a period of 1 ms is modelled; a period that is never ended keeps the
  // fine tick, as on Windows.
  static UINT WINAPI BeginPeriod(UINT period) {
    if (period == 0 || !grantPeriods_.load())
      return 97;  // TIMERR_NOCANDO
    periods_.fetch_add(1);
    return 0;
  }
  static UINT WINAPI EndPeriod(UINT period) {
    if (period == 0 || periods_.load() == 0)
      return 97;
    periods_.fetch_sub(1);
    return 0;
  }

  static inline std::atomic<int> periods_{0};
  static inline std::atomic<bool> grantPeriods_{true};
  VxFunctionPatch sleep_, begin_, end_;
};
