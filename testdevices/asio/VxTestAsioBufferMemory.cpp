#include "testdevices/asio/VxTestAsioBufferMemory.h"

#include <windows.h>

#include <mutex>
#include <vector>

#include "testdevices/asio/VxTestAsioCallLog.h"

namespace {

struct Watched {
  const unsigned char* begin;
  const unsigned char* end;
  std::shared_ptr<VxTestAsioCallLog> log;
  bool reported;
};

// Process-wide list of retired regions; the handler is installed only while
// the list is not empty, so no handler outlives the DLL.
class Watch {
 public:
  static Watch& Instance() {
    static Watch watch;
    return watch;
  }

  void Add(const unsigned char* begin, size_t size, std::shared_ptr<VxTestAsioCallLog> log) {
    std::lock_guard<std::mutex> lock(mutex_);
    regions_.push_back({begin, begin + size, std::move(log), false});
    if (!handler_)
      handler_ = ::AddVectoredExceptionHandler(1, &Watch::OnException);
  }

  void Remove(const unsigned char* begin) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = regions_.begin(); it != regions_.end(); ++it)
      if (it->begin == begin) {
        regions_.erase(it);
        break;
      }
    if (regions_.empty() && handler_) {
      ::RemoveVectoredExceptionHandler(handler_);
      handler_ = nullptr;
    }
  }

 private:
  static LONG CALLBACK OnException(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    if (record->ExceptionCode != STATUS_GUARD_PAGE_VIOLATION || record->NumberParameters < 2)
      return EXCEPTION_CONTINUE_SEARCH;
    const auto* address = reinterpret_cast<const unsigned char*>(record->ExceptionInformation[1]);
    const bool write = record->ExceptionInformation[0] == 1;
    Watch& watch = Instance();
    std::lock_guard<std::mutex> lock(watch.mutex_);
    for (Watched& region : watch.regions_) {
      if (address < region.begin || address >= region.end)
        continue;
      if (!region.reported) {
        region.reported = true;
        region.log->Line("FAULT: bufferTouched(%s, offset %zu, thread %lu) after disposeBuffers()",
                         write ? "write" : "read", static_cast<size_t>(address - region.begin),
                         ::GetCurrentThreadId());
      }
      return EXCEPTION_CONTINUE_EXECUTION;
    }
    return EXCEPTION_CONTINUE_SEARCH;
  }

  std::mutex mutex_;
  std::vector<Watched> regions_;
  void* handler_ = nullptr;
};

}  // namespace

VxTestAsioBufferMemory::~VxTestAsioBufferMemory() {
  if (!data_)
    return;
  if (watched_)
    Watch::Instance().Remove(data_);
  ::VirtualFree(data_, 0, MEM_RELEASE);
}

bool VxTestAsioBufferMemory::Allocate(size_t bytes) noexcept {
  data_ = static_cast<unsigned char*>(
      ::VirtualAlloc(nullptr, bytes ? bytes : 1, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  size_ = data_ ? bytes : 0;
  return data_ != nullptr;
}

void VxTestAsioBufferMemory::Retire(std::shared_ptr<VxTestAsioCallLog> log) noexcept {
  if (!data_ || watched_)
    return;
  DWORD old = 0;
  if (!::VirtualProtect(data_, size_ ? size_ : 1, PAGE_READWRITE | PAGE_GUARD, &old))
    return;
  Watch::Instance().Add(data_, size_ ? size_ : 1, std::move(log));
  watched_ = true;
}
