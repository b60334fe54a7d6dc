// The call log of one test driver instance: a text file that tests read back.
//
// One line per event, appended with a single WriteFile so readers in this or
// another process never see half a line, in the order the events happened.
// Calls are written "name(arguments) = result[ details]"; problems the driver
// saw the host cause start with "FAULT: ". README.md lists every line.
//
// Thread safe: the host's thread, the driver's switch thread and the
// exception handler that watches disposed buffers all write. Shared by the
// driver and its disposed buffers (which can outlive nothing but the driver,
// yet are freed after it writes its last line), hence shared_ptr ownership.
#pragma once

#include <windows.h>

#include <memory>
#include <mutex>
#include <string>

#include "foundation/VxHandle.h"

class VxTestAsioCallLog {
 public:
  // An empty path gives a log that writes nothing.
  static std::shared_ptr<VxTestAsioCallLog> Open(const std::wstring& path);

  void Line(const char* format, ...) noexcept __attribute__((format(gnu_printf, 2, 3)));
  bool Enabled() const { return static_cast<bool>(file_); }

 private:
  VxFileHandle file_;
  std::mutex mutex_;
};
