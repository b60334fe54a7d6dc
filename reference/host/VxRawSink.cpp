#include "reference/host/VxRawPlugin.h"

namespace {

struct CallScope {
  explicit CallScope(VxRawSink& sink) : sink_(sink) {
    if (sink_.inCall.fetch_add(1) != 0)
      sink_.overlaps++;
    if (sink_.deleted)
      sink_.callsAfterDelete++;
  }
  ~CallScope() { sink_.inCall--; }
  VxRawSink& sink_;
};

int32_t SetFormat(VxRawSink* sink, const VxAudioFormat* format) {
  CallScope scope(*sink);
  if (!format)
    return -1;
  std::lock_guard<std::mutex> hold(sink->lock);
  sink->format = *format;
  sink->targetBytes = static_cast<uint64_t>(format->bytesPerSecond * sink->targetSeconds);
  sink->formats++;
  return 0;
}

void Write(VxRawSink* sink, const void*, int32_t byteCount, bool) {
  CallScope scope(*sink);
  const DWORD self = ::GetCurrentThreadId();
  DWORD first = 0;
  if (sink->writeThread.compare_exchange_strong(first, self))
    sink->writeThreads++;
  else if (first != self)
    sink->writeThreads = 2;
  sink->writes++;
  if (sink->formats == 0) {
    sink->writesBeforeFormat++;
    return;
  }
  uint16_t blockAlign = 0;
  {
    std::lock_guard<std::mutex> hold(sink->lock);
    blockAlign = sink->format.blockAlign;
  }
  if (byteCount < 0 || (blockAlign && byteCount % blockAlign != 0))
    sink->partialFrames++;
  const uint64_t total = sink->bytes += static_cast<uint64_t>(byteCount > 0 ? byteCount : 0);
  if (sink->targetBytes && total >= sink->targetBytes)
    ::SetEvent(sink->reached.get());
  if (const DWORD holdMs = sink->holdNextWriteMs.exchange(0)) {
    ::SetEvent(sink->holding.get());
    ::Sleep(holdMs);
  }
}

void SourceEnded(VxRawSink* sink) {
  CallScope scope(*sink);
  sink->ended++;
}

const void* const kSinkTable[] = {reinterpret_cast<const void*>(&SetFormat),
                                  reinterpret_cast<const void*>(&Write),
                                  reinterpret_cast<const void*>(&SourceEnded)};

}  // namespace

VxRawSink::VxRawSink() : table(kSinkTable) {
  format.ResetToInvalid();
}
