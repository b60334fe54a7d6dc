// What the plug-in's sources write to the host log while one call runs, for
// telling the user why the call failed. Holds the live sources' entries
// (category 64) as "source: message" lines, leaving out the log scope's
// "Start" and "Finish (...)" lines, from construction until Stop() or
// destruction. Entries from any thread count; the collection is locked.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "reference/host/VxHostPlugin.h"

class VxLogCapture {
 public:
  // Starts collecting through the tools library of `host` (which must stay
  // loaded until Stop); collects nothing when the library offers no listener.
  explicit VxLogCapture(const VxHostPlugin& host);
  ~VxLogCapture() { Stop(); }
  VxLogCapture(const VxLogCapture&) = delete;
  VxLogCapture& operator=(const VxLogCapture&) = delete;

  // Stops collecting and returns the lines, oldest first.
  std::vector<std::wstring> Stop();

 private:
  static void OnEntry(void* self, int32_t category, const wchar_t* source, const wchar_t* message);

  VxToolsSetLogListenerProc setListener_;
  std::mutex lock_;
  std::vector<std::wstring> lines_;
};
