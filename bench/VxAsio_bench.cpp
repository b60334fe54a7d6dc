// asio_bench: what the ASIO source's buffer-switch handler costs.
//
// 1. OnBufferSwitch (interleave one buffer half of every channel into a block
//    and pass it to the sink) per switch, against copying the same number of
//    bytes, measured in the same run by the faster of Wine's memcpy and a
//    vector copy loop: 1, 2, 8 and 32 channels x the five sample types the
//    source delivers x 32, 64, 256 and 2048 frames. Heap allocations during
//    the measured switches are counted (goal: none). The worst ratios of two
//    or more channels are printed last (below and from 256 frames), with the
//    instruction set that the interleave chose for this processor.
//    interleave_bench times the interleave alone, natively too.
// 2. The source opened on the test ASIO driver (VxTestAsio.dll beside this
//    program, registered in the running prefix) at real-time pace. The sink's
//    Write is made inside the driver's switch call, right after the
//    interleave, so the switch-to-Write latency is the handler cost of table 1.
//    What the run adds is when Writes arrive against the driver's schedule:
//    for Write k, its time minus k periods, relative to the earliest such
//    value of the run (0 = as early as the best switch of the run).
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "bench/VxBestCopy.h"
#include "foundation/VxUrl.h"
#include "live_Main/boundary/IVxAudioLiveSink.h"
#include "sources/asio/CASIOLivePlugin.h"
#include "sources/asio/VxAsioInterleave.h"
#include "testdevices/asio/VxTestAsioControl.h"

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

using vxbench::Clock;

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

constexpr int kRounds = 5;

struct TypeName {
  ASIOSampleType type;
  const char* name;
};
constexpr TypeName kTypes[] = {{ASIOSTInt16LSB, "int16"},
                               {ASIOSTInt24LSB, "int24"},
                               {ASIOSTInt32LSB, "int32"},
                               {ASIOSTFloat32LSB, "float32"},
                               {ASIOSTFloat64LSB, "float64"}};

struct Worst {
  double ratio = 0;
  char shape[48] = "";
  void Take(double r, const char* type, int channels, int frames) {
    if (r <= ratio)
      return;
    ratio = r;
    std::snprintf(shape, sizeof shape, "%s, %d ch, %d frames", type, channels, frames);
  }
};

struct HandlerWorst {
  Worst small, large;  // two or more channels, below and from 256 frames
  long long allocations = 0;
};

HandlerWorst HandlerCost() {
  const char* isa = VxInterleaveIsaName(VxInterleaveChosenIsa());
  vxbench::CopyBaseline baseline;
  std::printf(
      "OnBufferSwitch per switch vs the faster of memcpy and a %d-byte vector loop copying the "
      "same bytes (best of %d rounds); interleave instruction set: %s\n",
      baseline.VectorWidth(), kRounds, isa);
  std::printf("%-8s %3s %6s %10s %12s %12s %12s %7s %14s\n", "type", "ch", "frames", "bytes",
              "switch ns", "memcpy ns", "vector ns", "ratio", "allocs/switch");
  HandlerWorst worst;
  for (const TypeName& t : kTypes) {
    for (int channels : {1, 2, 8, 32}) {
      for (int frames : {32, 64, 256, 2048}) {
        CASIOLivePlugin source(-1);
        CountingSink sink;
        std::vector<std::vector<uint8_t>> halves;
        CASIOLivePluginProbe::Prepare(source, &sink, t.type, channels, frames, halves);
        const size_t bytes = halves[0].size() * static_cast<size_t>(channels);
        const int switches = static_cast<int>(std::max<size_t>(200, (64u << 20) / bytes / 4));
        source.OnBufferSwitch(0);  // the block is allocated on the first switch
        const long long before = gAllocations.load();
        const double handler =
            vxbench::NanosPerCall(kRounds, switches, [&](int i) { source.OnBufferSwitch(i & 1); });
        // NanosPerCall makes kRounds + 1 rounds, the first untimed.
        const long long allocs = gAllocations.load() - before;
        const vxbench::CopyCost copy = baseline.Measure(kRounds, switches, bytes);
        vxbench::gKeep = vxbench::gKeep + sink.check;
        const double ratio = handler / copy.Best();
        if (channels >= 2)
          (frames >= 256 ? worst.large : worst.small).Take(ratio, t.name, channels, frames);
        worst.allocations += allocs;
        std::printf("%-8s %3d %6d %10zu %12.1f %12.1f %12.1f %7.2f %14g\n", t.name, channels,
                    frames, bytes, handler, copy.memcpyNs, copy.vectorNs, ratio,
                    static_cast<double>(allocs) / (static_cast<double>(switches) * (kRounds + 1)));
      }
    }
  }
  return worst;
}

// Opens the source on test driver 8 at `frames` per switch and measures each
// Write against the driver's schedule for `seconds`.
bool SwitchToWriteLatency(int frames, int channels, double seconds) {
  VxTestAsioConfig config;
  config.inputs = channels;
  config.sampleTypes = {ASIOSTInt32LSB};
  config.minBufferSize = config.maxBufferSize = config.preferredBufferSize = frames;
  config.granularity = 0;
  config.pace = VxTestAsioPace::kRealTime;
  constexpr int kDriver = 7;
  if (!config.Save(kDriver))
    return false;
  std::vector<Clock::time_point> times;
  times.reserve(static_cast<size_t>(seconds * 48000 / frames) + 64);
  CountingSink sink;
  sink.writeTimes = &times;
  IVxAudioLive* source = VxCreateAsioLivePlugin();
  const VxString id = VxUrlEncode(VxString(VxTestAsioClassIdText(kDriver).c_str()));
  const std::u16string params = u"deviceid=" + std::u16string(id) + u"&samplerate=48000&channels=" +
                                std::u16string(1, static_cast<char16_t>(u'0' + channels));
  if (source->Open(params.c_str(), &sink) != 0) {
    VxDeleteSource(source);
    std::printf("the test driver did not open\n");
    return false;
  }
  ::Sleep(static_cast<DWORD>(seconds * 1000));
  VxDeleteSource(source);
  VxTestAsioConfig::Erase(kDriver);
  const double period = static_cast<double>(frames) / 48000.0;
  if (times.empty()) {
    std::printf("no Write arrived\n");
    return false;
  }
  std::vector<double> late;
  for (size_t k = 0; k < times.size(); ++k) {
    late.push_back(std::chrono::duration<double, std::micro>(times[k] - times[0]).count() -
                   period * 1e6 * static_cast<double>(k));
  }
  const double earliest = *std::min_element(late.begin(), late.end());
  for (double& v : late)
    v -= earliest;
  std::vector<double> sorted = late;
  std::sort(sorted.begin(), sorted.end());
  std::printf(
      "%5d frames (%.2f ms period), %d ch int32: %zu writes in %.1f s (expected %.0f); "
      "Write later than the run's best schedule: median %.0f us, 99%% %.0f us, max %.0f us\n",
      frames, period * 1000, channels, late.size(), seconds, seconds / period,
      sorted[sorted.size() / 2], sorted[sorted.size() * 99 / 100], sorted.back());
  return true;
}

int Latency() {
  std::printf(
      "\nWrites at real-time pace (test ASIO driver, 48 kHz); each Write is made inside "
      "the driver's switch call\n");
  wchar_t root[64];
  std::swprintf(root, 64, L"Bench %lu", ::GetCurrentProcessId());
  ::SetEnvironmentVariableW(L"VXTESTASIO_ROOT", root);
  if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) ||
      !VxTestAsioRegisterDll(VxTestAsioDefaultDllPath())) {
    std::printf("cannot register VxTestAsio.dll beside this program\n");
    return 1;
  }
  const bool ok = SwitchToWriteLatency(256, 2, 3.0) && SwitchToWriteLatency(64, 8, 3.0);
  ::RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(L"Software\\VxTestAsio\\") + root).c_str());
  ::CoUninitialize();
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::printf(
        "usage: asio_bench\n  Prints the buffer-switch handler's cost per switch against "
        "the best copy of the same bytes, and when Writes arrive at real-time pace.\n");
    return 0;
  }
  const HandlerWorst worst = HandlerCost();
  const int latency = Latency();
  std::printf(
      "\nworst ratio of two or more channels: %.2f below 256 frames (%s), %.2f from 256 frames "
      "(%s); instruction set %s; allocations in steady state %lld (goal 0)\n",
      worst.small.ratio, worst.small.shape, worst.large.ratio, worst.large.shape,
      VxInterleaveIsaName(VxInterleaveChosenIsa()), worst.allocations);
  return latency;
}
