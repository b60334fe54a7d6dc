// The test endpoint's record file: one line per thing it was asked to do.
//
// Line format (UTF-8, '\n' terminated, fields separated by tabs):
//   <event> TAB tid=<thread id> TAB apt=<apartment> TAB com=<0|1> TAB <key>=<value> ...
// apt is what CoGetApartmentType answers on the calling thread: sta, mainsta
// (the process's first STA), mta, mta-implicit (no COM of its own, but the
// process has an MTA), na, or none. com is 1 when the thread itself
// initialised COM (sta, mainsta, mta, na).
// Each line is appended with one WriteFile, so lines from several threads do
// not interleave. Process-wide singleton; every member is thread-safe.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>

#include "foundation/VxHandle.h"

class VxTestEndpointRecord {
 public:
  static VxTestEndpointRecord& Instance() noexcept;

  // Switches to `path` (empty: record nothing). Reopens only when it changed.
  void SetPath(const std::wstring& path) noexcept;
  // Closes the file, so that a test may replace it between sessions.
  void Close() noexcept;
  // Appends `event` with the calling thread's id and apartment, then `fields`
  // (already "key=value" pairs joined by tabs; may be empty).
  void Write(const char* event, const std::string& fields = {}) noexcept;

 private:
  std::mutex mutex_;
  std::wstring path_;
  VxFileHandle file_;
};

// printf-style helper for record fields.
std::string VxRecordFields(const char* format, ...) noexcept;
