// Writing to the host log, and the log scope.
//
// Messages go to the host tools library's log service with a category and a
// source name ("Class::Operation"); arguments travel as a typed argument list.
// When the tools library or its log is missing the call is skipped silently.
// Any thread may log.
#pragma once

#include <chrono>
#include <cstdint>
#include <initializer_list>

#include "foundation/VxFormat.h"

inline constexpr int32_t kVxLogRuntime = 1;  // threads, library loading
inline constexpr int32_t kVxLogLive = 64;    // the live sources

void VxLog(int32_t category,
           const char16_t* source,
           const char16_t* format,
           std::initializer_list<VxArgValue> args = {});

// Logs "Start" when created and, when destroyed, "Finish (%d ms)" or, once a
// result was set, "Finish (result: %d) (%d ms)", with the whole milliseconds
// elapsed on the monotonic clock.
class VxLogScope {
 public:
  static constexpr int32_t kNoResult = static_cast<int32_t>(0x8A33F231u);

  VxLogScope(int32_t category, const char16_t* source);
  ~VxLogScope();
  VxLogScope(const VxLogScope&) = delete;
  VxLogScope& operator=(const VxLogScope&) = delete;

  void SetResult(int32_t result) { result_ = result; }

 private:
  int32_t category_;
  const char16_t* source_;
  int32_t result_ = kNoResult;
  std::chrono::steady_clock::time_point start_;
};

// Passes `text` through the host's translation service (unchanged without one).
VxString VxTranslate(const VxString& text);
