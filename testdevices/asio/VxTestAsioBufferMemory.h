// The memory behind one createBuffers call of the test driver, and the watch
// that notices when the host touches it after disposeBuffers.
//
// Retire() does not free the pages: it turns them into guard pages and lists
// them with a process-wide vectored exception handler. The first read or write
// of a retired region by any thread is written to the owning driver's call log
// as "FAULT: bufferTouched(...) after disposeBuffers()" and then allowed
// to complete (a guard page disarms itself on first touch), so a faulty host
// is reported instead of crashing the test. The pages are released when the
// object is destroyed, which the driver does at its final Release.
//
// Owned by one driver instance; Retire and destruction run on the host's
// thread, the handler on whichever thread touches the memory.
#pragma once

#include <cstddef>
#include <memory>

class VxTestAsioCallLog;

class VxTestAsioBufferMemory {
 public:
  VxTestAsioBufferMemory() = default;
  VxTestAsioBufferMemory(const VxTestAsioBufferMemory&) = delete;
  VxTestAsioBufferMemory& operator=(const VxTestAsioBufferMemory&) = delete;
  ~VxTestAsioBufferMemory();

  // Reserves and commits `bytes` of zeroed memory; false when that fails.
  [[nodiscard]] bool Allocate(size_t bytes) noexcept;
  unsigned char* Data() const { return data_; }
  size_t Size() const { return size_; }

  // Marks the memory as disposed and watches it from now on (see above).
  void Retire(std::shared_ptr<VxTestAsioCallLog> log) noexcept;

 private:
  unsigned char* data_ = nullptr;
  size_t size_ = 0;
  bool watched_ = false;
};
