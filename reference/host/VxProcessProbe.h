// What this process holds at one moment: its threads, its handle table and
// its memory, for lifetime tests to compare before and after many cycles and
// for vxhost record --stats.
//
// Handles are measured by the value of a freshly created handle, not by
// GetProcessHandleCount (which Wine answers with 0): a new handle takes the
// lowest free entry of the table, so the value climbs while handles leak.
// Windows only.
#pragma once

#include <cstddef>

struct VxProcessProbe {
  int threads = 0;          // threads of this process in a toolhelp snapshot
  size_t handleSlot = 0;    // table entry a new handle gets (value / 4)
  size_t privateBytes = 0;  // committed private memory; Wine answers 0
  // The working set: under Wine (which takes it from the resident set) the
  // figure that grows when memory leaks.
  size_t residentBytes = 0;

  static VxProcessProbe Take();
  static int ThreadCount();
  static size_t HandleSlot();

  // A deleted source's thread may still be listed for a moment after the
  // delete returned, with nothing left to wait on: polls, bounded.
  static bool ThreadsSettleAtMost(int expected, int timeoutMs = 5000);
};
