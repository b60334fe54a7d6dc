// The memory behind one createBuffers call of the test driver, and the watch
// that notices when the host touches it where it must not.
//
// Every buffer half sits at the end of its own run of pages and is followed by
// an inaccessible page, so the first byte read or written past a half is
// caught ("FAULT: bufferOverrun(...)"). Retire() does not free the pages: it
// makes the whole block inaccessible, and every read or write of it from then
// on, by any thread, is reported ("FAULT: bufferTouched(...) after
// disposeBuffers()"), not only the first. A touch is logged and then allowed to
// complete (the page is opened for one instruction and closed again), so a
// faulty host is reported instead of crashing the test. The pages are released
// when the object is destroyed, which the driver does at its final Release.
//
// Owned by one driver instance; Allocate, Retire and destruction run on the
// host's thread, the process-wide exception handler on whichever thread
// touches the memory.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

class VxTestAsioCallLog;

class VxTestAsioBufferMemory {
 public:
  VxTestAsioBufferMemory() = default;
  VxTestAsioBufferMemory(const VxTestAsioBufferMemory&) = delete;
  VxTestAsioBufferMemory& operator=(const VxTestAsioBufferMemory&) = delete;
  ~VxTestAsioBufferMemory();

  // Commits zeroed memory for halves of the given sizes, each ending at a page
  // boundary before a guard page, and starts watching it with `log`; false
  // when that fails.
  [[nodiscard]] bool Allocate(const std::vector<size_t>& halfBytes,
                              std::shared_ptr<VxTestAsioCallLog> log) noexcept;
  unsigned char* Half(size_t i) const { return halves_[i]; }

  // Marks the memory as disposed: every touch from now on is reported.
  void Retire() noexcept;

 private:
  unsigned char* base_ = nullptr;
  size_t size_ = 0;
  std::vector<unsigned char*> halves_;
};
