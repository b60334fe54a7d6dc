// The one guard for every entry point the host or a driver calls: an exception
// (in practice an allocation that failed) must never unwind into the caller's
// frames, which were not built by this compiler and may not unwind at all.
// The entry point answers its failure value instead.
#pragma once

#include <type_traits>

// Runs `body` and answers its result, or `failure` when it throws.
template <typename R, typename F>
R VxGuardBoundary(R failure, F&& body) noexcept {
  try {
    return static_cast<R>(body());
  } catch (...) {
    return failure;
  }
}

// For entry points without a result: an exception ends the call quietly.
template <typename F>
void VxGuardBoundary(F&& body) noexcept {
  try {
    body();
  } catch (...) {
  }
}
