#include "testdevices/asio/VxTestAsioBufferMemory.h"

#include <windows.h>

#include <mutex>

#include "testdevices/asio/VxTestAsioCallLog.h"

namespace {

constexpr DWORD kTrapFlag = 0x100;
constexpr int kMaxPending = 8;

size_t PageSize() {
  SYSTEM_INFO info = {};
  ::GetSystemInfo(&info);
  return info.dwPageSize;
}

struct Watched {
  const unsigned char* begin;
  const unsigned char* end;
  std::vector<unsigned char*> halves;
  std::vector<size_t> halfBytes;
  std::shared_ptr<VxTestAsioCallLog> log;
  bool retired;
};

// Pages this thread opened for the one instruction that touched them; closed
// again by the single-step exception that follows it.
thread_local void* t_pending[kMaxPending];
thread_local int t_pendingCount = 0;

// Process-wide list of watched blocks; the handler is installed only while the
// list is not empty, so no handler outlives the DLL.
class Watch {
 public:
  static Watch& Instance() {
    static Watch watch;
    return watch;
  }

  void Add(Watched region) {
    std::lock_guard<std::mutex> lock(mutex_);
    regions_.push_back(std::move(region));
    if (!handler_)
      handler_ = ::AddVectoredExceptionHandler(1, &Watch::OnException);
  }

  void Retire(const unsigned char* begin) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Watched& region : regions_)
      if (region.begin == begin)
        region.retired = true;
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
    DWORD old = 0;
    if (record->ExceptionCode == STATUS_SINGLE_STEP && t_pendingCount > 0) {
      for (int i = 0; i < t_pendingCount; ++i)
        ::VirtualProtect(t_pending[i], 1, PAGE_NOACCESS, &old);
      t_pendingCount = 0;
      return EXCEPTION_CONTINUE_EXECUTION;
    }
    if (record->ExceptionCode != STATUS_ACCESS_VIOLATION || record->NumberParameters < 2 ||
        t_pendingCount == kMaxPending)
      return EXCEPTION_CONTINUE_SEARCH;
    const auto* address = reinterpret_cast<const unsigned char*>(record->ExceptionInformation[1]);
    const char* kind = record->ExceptionInformation[0] == 1 ? "write" : "read";
    Watch& watch = Instance();
    std::lock_guard<std::mutex> lock(watch.mutex_);
    for (Watched& region : watch.regions_) {
      if (address < region.begin || address >= region.end)
        continue;
      if (region.retired) {
        region.log->Line("FAULT: bufferTouched(%s, offset %zu, thread %lu) after disposeBuffers()",
                         kind, static_cast<size_t>(address - region.begin), ::GetCurrentThreadId());
      } else {
        // A guard page: name the half it follows.
        for (size_t i = 0; i < region.halves.size(); ++i) {
          const unsigned char* end = region.halves[i] + region.halfBytes[i];
          if (address >= end && address < end + PageSize())
            region.log->Line(
                "FAULT: bufferOverrun(%s, buffer %zu half %zu, byte %zu past its end, "
                "thread %lu)",
                kind, i / 2, i % 2, static_cast<size_t>(address - end), ::GetCurrentThreadId());
        }
      }
      void* page = reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(address) &
                                           ~static_cast<uintptr_t>(PageSize() - 1));
      ::VirtualProtect(page, 1, PAGE_READWRITE, &old);
      t_pending[t_pendingCount++] = page;
      info->ContextRecord->EFlags |= kTrapFlag;
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
  if (!base_)
    return;
  Watch::Instance().Remove(base_);
  ::VirtualFree(base_, 0, MEM_RELEASE);
}

bool VxTestAsioBufferMemory::Allocate(const std::vector<size_t>& halfBytes,
                                      std::shared_ptr<VxTestAsioCallLog> log) noexcept {
  const size_t page = PageSize();
  size_t size = 0;
  for (size_t bytes : halfBytes)
    size += (bytes + page - 1) / page * page + page;
  base_ = static_cast<unsigned char*>(
      ::VirtualAlloc(nullptr, size ? size : page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  if (!base_)
    return false;
  size_ = size;
  unsigned char* next = base_;
  DWORD old = 0;
  for (size_t bytes : halfBytes) {
    next += (bytes + page - 1) / page * page;
    halves_.push_back(next - bytes);
    if (!::VirtualProtect(next, page, PAGE_NOACCESS, &old))
      return false;
    next += page;
  }
  Watch::Instance().Add({base_, base_ + size_, halves_, halfBytes, std::move(log), false});
  return true;
}

void VxTestAsioBufferMemory::Retire() noexcept {
  DWORD old = 0;
  if (!base_ || !::VirtualProtect(base_, size_, PAGE_NOACCESS, &old))
    return;
  Watch::Instance().Retire(base_);
}
