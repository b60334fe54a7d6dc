#include "foundation/runtime/VxPreciseTimer.h"

#include <timeapi.h>

namespace {

// Older headers lack the flag; the value is the system's.
constexpr DWORD kHighResolutionTimer = 0x00000002;  // CREATE_WAITABLE_TIMER_HIGH_RESOLUTION

}  // namespace

VxPreciseTimer::VxPreciseTimer() noexcept
    : timer_(::CreateWaitableTimerExW(nullptr,
                                      nullptr,
                                      kHighResolutionTimer,
                                      TIMER_MODIFY_STATE | SYNCHRONIZE)) {
  if (!timer_)
    periodRaised_ = ::timeBeginPeriod(1) == TIMERR_NOERROR;
}

VxPreciseTimer::~VxPreciseTimer() {
  if (periodRaised_)
    ::timeEndPeriod(1);
}

void VxPreciseTimer::Sleep(DWORD ms) noexcept {
  if (ms == 0 || !timer_) {
    ::Sleep(ms);
    return;
  }
  LARGE_INTEGER due;
  due.QuadPart = -static_cast<LONGLONG>(ms) * 10000;  // relative, in 100 ns units
  if (::SetWaitableTimer(timer_.get(), &due, 0, nullptr, nullptr, FALSE))
    ::WaitForSingleObject(timer_.get(), INFINITE);
  else
    ::Sleep(ms);
}
