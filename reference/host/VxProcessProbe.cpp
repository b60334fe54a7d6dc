#include "reference/host/VxProcessProbe.h"

#include <windows.h>
// after windows.h, which they need
#include <psapi.h>
#include <tlhelp32.h>

#include <chrono>
#include <cstdint>

#include "foundation/VxHandle.h"

int VxProcessProbe::ThreadCount() {
  VxHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL ok = ::Thread32First(snapshot.get(), &entry); ok;
       ok = ::Thread32Next(snapshot.get(), &entry))
    count += entry.th32OwnerProcessID == ::GetCurrentProcessId();
  return count;
}

size_t VxProcessProbe::HandleSlot() {
  VxHandle probe(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  return reinterpret_cast<uintptr_t>(probe.get()) / 4;
}

VxProcessProbe VxProcessProbe::Take() {
  VxProcessProbe probe;
  probe.threads = ThreadCount();
  probe.handleSlot = HandleSlot();
  PROCESS_MEMORY_COUNTERS_EX counters = {};
  counters.cb = sizeof counters;
  if (::GetProcessMemoryInfo(::GetCurrentProcess(),
                             reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                             sizeof counters)) {
    probe.privateBytes = counters.PrivateUsage;
    probe.residentBytes = counters.WorkingSetSize;
  }
  return probe;
}

bool VxProcessProbe::ThreadsSettleAtMost(int expected, int timeoutMs) {
  const auto start = std::chrono::steady_clock::now();
  while (ThreadCount() > expected) {
    if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(timeoutMs))
      return false;
    ::Sleep(5);
  }
  return true;
}
