// The one sink double of the source tests, and a source holder.
//
// Keeps every announced format; counts writes, bytes, set flags, stream ends
// and writes before any format; keeps the bytes of every block or hands each
// block to a check instead (long streams); notes which threads called, the
// lowest thread priority seen and whether a call came from a thread without
// COM; and lets a test wait on what has arrived. Every call takes the sink's
// lock, so a check runs on the source's thread in order. Read the fields
// directly once the source is gone, or under Locked() while it runs. Windows
// only.
#pragma once

#include <windows.h>

#include <objbase.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "live_Main/boundary/IVxAudioLive.h"
#include "live_Main/boundary/IVxAudioLiveSink.h"
#include "live_Main/boundary/VxAudioFormat.h"

namespace vxtest {

inline constexpr int kSinkWaitMs = 60000;

// Who called a sink: each call's thread, its priority and its COM state.
struct VxSinkCallers {
  void Note() {
    const DWORD id = ::GetCurrentThreadId();
    if (id == testThread)
      calledFromTestThread = true;
    if (std::find(threads.begin(), threads.end(), id) == threads.end())
      threads.push_back(id);
    lowestPriority = std::min(lowestPriority, ::GetThreadPriority(::GetCurrentThread()));
    APTTYPE type;
    APTTYPEQUALIFIER qualifier;
    if (FAILED(::CoGetApartmentType(&type, &qualifier)) ||
        qualifier == APTTYPEQUALIFIER_IMPLICIT_MTA)
      comMissing = true;
  }

  std::vector<DWORD> threads;         // distinct calling threads, in order of first call
  int lowestPriority = 1000;          // lowest thread priority seen in a call
  bool comMissing = false;            // a call came from a thread without COM
  bool calledFromTestThread = false;  // a call came from the thread that made the sink
  const DWORD testThread = ::GetCurrentThreadId();
};

class VxTestSink final : public IVxAudioLiveSink, public VxSinkCallers {
 public:
  // Checks one block at stream offset `offset`; false counts a mismatch.
  using BlockCheck = std::function<bool(uint64_t offset, const void* data, size_t bytes)>;

  // Keeps the bytes of every block.
  VxTestSink() = default;
  // Hands every block to `check` instead of keeping it.
  explicit VxTestSink(BlockCheck check) : check_(std::move(check)) {}

  int32_t SetFormat(const VxAudioFormat* format) noexcept override {
    std::lock_guard<std::mutex> lock(mutex_);
    Note();
    formats.push_back(*format);
    cv_.notify_all();
    return refuseFormat ? -1 : 0;
  }
  void Write(const void* data, int32_t byteCount, bool flag) noexcept override {
    std::lock_guard<std::mutex> lock(mutex_);
    Note();
    ++writes;
    flagSet += flag ? 1 : 0;
    writesBeforeFormat += formats.empty() ? 1 : 0;
    if (byteCount > 0 && !data) {
      ++mismatches;  // a block without its bytes
    } else if (byteCount > 0) {
      const auto* bytesIn = static_cast<const uint8_t*>(data);
      if (check_) {
        if (!check_(total, data, static_cast<size_t>(byteCount)))
          ++mismatches;
      } else {
        bytes.insert(bytes.end(), bytesIn, bytesIn + byteCount);
      }
      total += static_cast<uint64_t>(byteCount);
    }
    blockBytes.push_back(byteCount);
    cv_.notify_all();
  }
  void SourceEnded() noexcept override {
    std::lock_guard<std::mutex> lock(mutex_);
    Note();
    ++ended;
    cv_.notify_all();
  }

  // Waits until `p(*this)` holds (evaluated under the lock).
  template <typename Predicate>
  bool WaitFor(Predicate p, int timeoutMs = kSinkWaitMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return p(*this); });
  }
  bool WaitEnded(int timeoutMs = kSinkWaitMs) {
    return WaitFor([](const VxTestSink& s) { return s.ended > 0; }, timeoutMs);
  }
  bool WaitTotal(uint64_t n, int timeoutMs = kSinkWaitMs) {
    return WaitFor([n](const VxTestSink& s) { return s.total >= n; }, timeoutMs);
  }
  bool WaitWrites(int n, int timeoutMs = kSinkWaitMs) {
    return WaitFor([n](const VxTestSink& s) { return s.writes >= n; }, timeoutMs);
  }
  // Runs `f(*this)` under the lock, for reading while the source runs.
  template <typename F>
  auto Locked(F f) {
    std::lock_guard<std::mutex> lock(mutex_);
    return f(*this);
  }

  bool refuseFormat = false;           // SetFormat answers -1
  std::vector<VxAudioFormat> formats;  // every SetFormat, in order
  std::vector<uint8_t> bytes;          // the blocks, when kept
  std::vector<int32_t> blockBytes;     // the byte count of every Write
  uint64_t total = 0;                  // bytes of every non-empty block
  uint64_t mismatches = 0;             // blocks the check refused, or without data
  int writes = 0, flagSet = 0, ended = 0, writesBeforeFormat = 0;

 private:
  BlockCheck check_;
  std::mutex mutex_;
  std::condition_variable cv_;
};

// Predicates for WaitFor and RunSource: at least `n` writes, `n` bytes.
inline auto Writes(int n) {
  return [n](const VxTestSink& s) { return s.writes >= n; };
}
inline auto Bytes(uint64_t n) {
  return [n](const VxTestSink& s) { return s.total >= n; };
}

// A source deleted the way the host deletes it.
struct SourceDeleter {
  void operator()(IVxAudioLive* p) const { VxDeleteSource(p); }
};
using SourcePtr = std::unique_ptr<IVxAudioLive, SourceDeleter>;

// The factory indices of the three sources.
constexpr int kAsio = 0, kLoopback = 1, kIpc = 2;

// A new source of factory index `index`.
inline SourcePtr NewSource(int index) {
  IVxAudioLive* source = nullptr;
  EXPECT_EQ(GetLivePlugin(index, &source), 0);
  return SourcePtr(source);
}

// One life of a new source of factory index `index`: Open with `parameters`
// on `sink` must answer `opened`; when it succeeded, the source runs until
// `enough(sink)` holds; then it is deleted.
template <typename Predicate>
::testing::AssertionResult RunSource(int index,
                                     const char16_t* parameters,
                                     VxTestSink& sink,
                                     Predicate enough,
                                     int32_t opened = 0,
                                     int timeoutMs = kSinkWaitMs) {
  SourcePtr source = NewSource(index);
  if (!source)
    return ::testing::AssertionFailure() << "no source of index " << index;
  const int32_t answer = source->Open(parameters, &sink);
  if (answer != opened)
    return ::testing::AssertionFailure() << "Open answered " << answer << ", not " << opened;
  if (answer == 0 && !sink.WaitFor(enough, timeoutMs))
    return ::testing::AssertionFailure() << "the sink waited " << timeoutMs << " ms in vain";
  return ::testing::AssertionSuccess();
}

// Milliseconds since `since`.
inline int64_t ElapsedMs(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               since)
      .count();
}

}  // namespace vxtest
