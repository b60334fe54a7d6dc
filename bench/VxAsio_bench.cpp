// asio_bench: what the ASIO source's buffer-switch handler costs.
//
// 1. OnBufferSwitch (interleave one buffer half of every channel into a block
//    and pass it to the sink) per switch, against memcpy of the same number of
//    bytes measured in the same run: 1, 2, 8 and 32 channels x the five sample
//    types the source delivers x 64, 256 and 2048 frames. Goal: at most 1.5x.
//    Heap allocations during the measured switches are counted (goal: none).
// 2. With --driver {class ID}: the source opened on that driver at real-time
//    pace; time from the driver's buffer switch (ASIOTime system time, when the
//    driver calls bufferSwitchTimeInfo with it) to the sink's Write.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "live_Main/IVxAudioLiveSink.h"
#include "sources/asio/CASIOLivePlugin.h"

namespace {

std::atomic<long long> gAllocations{0};

}  // namespace

// Every allocation of this program goes through malloc here, so free matches.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(size_t size) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1))
    return p;
  throw std::bad_alloc();
}
void* operator new[](size_t size) {
  return operator new(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size ? size : 1);
}
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
  std::free(p);
}

// Reaches the handler's inputs the way Open would set them, without a driver.
struct CASIOLivePluginProbe {
  static void Prepare(CASIOLivePlugin& source,
                      IVxAudioLiveSink* sink,
                      ASIOSampleType type,
                      int channels,
                      int frames,
                      std::vector<std::vector<uint8_t>>& halves) {
    source.sink_ = sink;
    source.format_ = CASIOLivePlugin::MakeStreamFormat(type, 48000, channels);
    source.bufferSize_ = frames;
    source.numChannels_ = channels;
    const size_t bytes = static_cast<size_t>(frames) * (source.format_.bitsPerSample / 8);
    halves.assign(static_cast<size_t>(channels) * 2, std::vector<uint8_t>(bytes));
    for (int c = 0; c < channels; ++c) {
      for (int h = 0; h < 2; ++h) {
        auto& v = halves[static_cast<size_t>(c) * 2 + h];
        for (size_t i = 0; i < v.size(); ++i)
          v[i] = static_cast<uint8_t>(i * 13 + c + h);
        source.bufferInfos_[c].buffers[h] = v.data();
      }
    }
  }
};

namespace {

using Clock = std::chrono::steady_clock;

class CountingSink final : public IVxAudioLiveSink {
 public:
  int32_t SetFormat(const VxAudioFormat*) noexcept override { return 0; }
  void Write(const void* data, int32_t byteCount, bool) noexcept override {
    bytes += byteCount;
    if (data && byteCount > 0)
      check += static_cast<const uint8_t*>(data)[byteCount - 1];
    if (writeTimes)
      writeTimes->push_back(Clock::now());
  }
  void SourceEnded() noexcept override {}
  long long bytes = 0;
  unsigned check = 0;
  std::vector<Clock::time_point>* writeTimes = nullptr;
};

volatile unsigned gKeep;

// Best of several rounds of `switches` calls: nanoseconds per call.
template <typename F>
double NanosPerCall(int switches, F&& call) {
  double best = 1e300;
  for (int round = 0; round < 5; ++round) {
    const auto start = Clock::now();
    for (int i = 0; i < switches; ++i)
      call(i);
    const double ns =
        std::chrono::duration<double, std::nano>(Clock::now() - start).count() / switches;
    best = std::min(best, ns);
  }
  return best;
}

struct TypeName {
  ASIOSampleType type;
  const char* name;
};
constexpr TypeName kTypes[] = {{ASIOSTInt16LSB, "int16"},
                               {ASIOSTInt24LSB, "int24"},
                               {ASIOSTInt32LSB, "int32"},
                               {ASIOSTFloat32LSB, "float32"},
                               {ASIOSTFloat64LSB, "float64"}};

int HandlerCost() {
  std::printf("OnBufferSwitch per switch vs memcpy of the same bytes (best of 5 rounds)\n");
  std::printf("%-8s %3s %6s %10s %12s %12s %7s %7s\n", "type", "ch", "frames", "bytes", "switch ns",
              "memcpy ns", "ratio", "allocs");
  double worst = 0;
  long long allocations = 0;
  for (const TypeName& t : kTypes) {
    for (int channels : {1, 2, 8, 32}) {
      for (int frames : {64, 256, 2048}) {
        CASIOLivePlugin source(-1);
        CountingSink sink;
        std::vector<std::vector<uint8_t>> halves;
        CASIOLivePluginProbe::Prepare(source, &sink, t.type, channels, frames, halves);
        const size_t bytes = halves[0].size() * static_cast<size_t>(channels);
        // Same total bytes, read from a source block and written to another.
        std::vector<uint8_t> from(bytes, 1), to(bytes);
        const int switches = static_cast<int>(std::max<size_t>(200, (64u << 20) / bytes / 4));
        source.OnBufferSwitch(0);  // the block is allocated on the first switch
        const long long before = gAllocations.load();
        const double handler = NanosPerCall(switches, [&](int i) { source.OnBufferSwitch(i & 1); });
        const long long allocs = gAllocations.load() - before;
        const double copy = NanosPerCall(switches, [&](int i) {
          from[0] = static_cast<uint8_t>(i);
          std::memcpy(to.data(), from.data(), bytes);
          gKeep = gKeep + to[bytes - 1];
        });
        gKeep = gKeep + sink.check;
        const double ratio = handler / copy;
        worst = std::max(worst, ratio);
        allocations += allocs;
        std::printf("%-8s %3d %6d %10zu %12.0f %12.0f %7.2f %7lld\n", t.name, channels, frames,
                    bytes, handler, copy, ratio, allocs);
      }
    }
  }
  std::printf("worst ratio %.2f (goal <= 1.5), allocations in steady state %lld (goal 0)\n", worst,
              allocations);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::printf(
        "usage: asio_bench\n  Prints the buffer-switch handler's cost per switch against "
        "memcpy of the same bytes.\n");
    return 0;
  }
  return HandlerCost();
}
