// loopback_bench: what the loopback source costs, on the test endpoint.
//
// Each figure is printed beside a baseline measured in the same run: a bare
// thread at the same priority that drives the same endpoint the simplest way
// (the same 1 ms wait when empty, GetBuffer/ReleaseBuffer with nothing done to
// the data) and calls no sink.
//   1. CPU time of the capture thread per second of wall time while nothing
//      plays (goal: under 1% of a core)
//   2. the same while streaming 8 channels of 32-bit float at 192 kHz
//   3. time from a packet becoming available to its Write, at real-time pace
//      (median and 99th percentile). The endpoint makes a packet available
//      when the wall time since its Start covers the packet's last frame; the
//      clock starts just before Start is called, so the figures are an upper
//      bound by the few calls between that moment and Start (the minimum
//      printed beside them shows that offset).
//   4. the source's CPU while nothing plays and while streaming 5 ms packets
//      into an engine buffer of three, at Wine's exact clock and at Windows'
//      default 15.6 ms tick (Sleep rounded up to it), with the frames the
//      engine overwrote before they were fetched, over 60 s each.
// Requires the test endpoint (VxTestEndpoint.dll) beside the program.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "foundation/VxHandle.h"
#include "live_Main/boundary/IVxAudioLive.h"
#include "sources/loopback/CLoopbackLivePlugin.h"
#include "sources/loopback/VxCoreAudio.h"
#include "testdevices/endpoint/VxTestEndpointControl.h"
#include "tests/support/VxWindowsClock.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kWindowMs = 3000;

double ThreadCpuMs(HANDLE thread) {
  FILETIME created, exited, kernel, user;
  if (!::GetThreadTimes(thread, &created, &exited, &kernel, &user))
    return 0;
  auto ms = [](const FILETIME& t) {
    return ((uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime) / 10000.0;
  };
  return ms(kernel) + ms(user);
}

// Latencies of the blocks a capture delivered, in microseconds.
class LatencyLog {
 public:
  void SetClockStart(Clock::time_point start, uint32_t rate) {
    start_ = start;
    rate_ = rate;
  }
  void Block(uint32_t frames) {
    const auto now = Clock::now();
    frames_ += frames;
    const double availableUs = static_cast<double>(frames_) * 1e6 / rate_;
    const double sinceStartUs = std::chrono::duration<double, std::micro>(now - start_).count();
    latencies_.push_back(sinceStartUs - availableUs);
  }
  void Print(const char* who) {
    if (latencies_.size() < 10) {
      std::printf("  %-9s too few blocks (%zu)\n", who, latencies_.size());
      return;
    }
    // The first blocks are late by the set-up between clock start and Start.
    std::vector<double> v(latencies_.begin() + 5, latencies_.end());
    std::sort(v.begin(), v.end());
    std::printf("  %-9s median %7.0f us   p99 %7.0f us   min %7.0f us   (%zu blocks)\n", who,
                v[v.size() / 2], v[v.size() * 99 / 100], v.front(), v.size());
  }

 private:
  Clock::time_point start_;
  uint32_t rate_ = 1;
  uint64_t frames_ = 0;
  std::vector<double> latencies_;
};

class BenchSink final : public IVxAudioLiveSink {
 public:
  int32_t SetFormat(const VxAudioFormat* format) override {
    blockAlign = format->blockAlign;
    latency.SetClockStart(Clock::now(), format->sampleRate);
    return 0;
  }
  void Write(const void*, int32_t byteCount, bool) override {
    latency.Block(static_cast<uint32_t>(byteCount) / blockAlign);
  }
  void SourceEnded() override {}

  uint32_t blockAlign = 1;
  LatencyLog latency;
};

struct Figures {
  double cpuPercent = 0;
};

// The source on the endpoint as configured: thread CPU over the window.
Figures MeasureSource(LatencyLog* latencyOut, int windowMs = kWindowMs) {
  BenchSink sink;
  auto* source = static_cast<CLoopbackLivePlugin*>(VxCreateLoopbackLivePlugin());
  if (source->Open(u"", &sink) != 0) {
    std::printf("  the source did not open\n");
    VxDeleteSource(source);
    return {};
  }
  ::Sleep(200);  // past the first packets
  const double before = ThreadCpuMs(source->GetHandle());
  const auto start = Clock::now();
  ::Sleep(static_cast<DWORD>(windowMs));
  const double cpu = ThreadCpuMs(source->GetHandle()) - before;
  const double wall = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  VxDeleteSource(source);
  if (latencyOut)
    *latencyOut = sink.latency;
  return {100.0 * cpu / wall};
}

// The bare loop on the same endpoint, on a thread of its own.
Figures MeasureBaseline(LatencyLog* latencyOut) {
  std::atomic<bool> stop{false};
  std::atomic<bool> started{false};
  LatencyLog latency;
  HANDLE threadHandle = nullptr;
  std::thread worker([&] {
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(),
                      &threadHandle, 0, FALSE, DUPLICATE_SAME_ACCESS);
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
      VxComPtr<IMMDeviceEnumerator> enumerator;
      VxComPtr<IMMDevice> device;
      VxComPtr<IAudioClient> client;
      VxComPtr<IAudioCaptureClient> capture;
      VxCoTaskMem mix;
      WAVEFORMATEX* wave = nullptr;
      if (FAILED(::CoCreateInstance(vxcoreaudio::kClsidDeviceEnumerator, nullptr,
                                    CLSCTX_INPROC_SERVER, vxcoreaudio::kIidDeviceEnumerator,
                                    reinterpret_cast<void**>(enumerator.put()))) ||
          FAILED(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, device.put())) ||
          FAILED(device->Activate(vxcoreaudio::kIidAudioClient, vxcoreaudio::kClsctxAll, nullptr,
                                  reinterpret_cast<void**>(client.put()))) ||
          FAILED(client->GetMixFormat(&wave)) ||
          (mix.reset(wave),
           FAILED(client->Initialize(AUDCLNT_SHAREMODE_SHARED, vxcoreaudio::kStreamFlagsLoopback, 0,
                                     0, wave, nullptr))) ||
          FAILED(client->GetService(vxcoreaudio::kIidAudioCaptureClient,
                                    reinterpret_cast<void**>(capture.put())))) {
        started = true;
        return;
      }
      latency.SetClockStart(Clock::now(), wave->nSamplesPerSec);
      (void)client->Start();
      started = true;
      while (!stop) {
        UINT32 packet = 0;
        if (FAILED(capture->GetNextPacketSize(&packet)) || packet == 0) {
          ::Sleep(1);
          continue;
        }
        BYTE* data;
        UINT32 frames;
        DWORD flags;
        if (FAILED(capture->GetBuffer(&data, &frames, &flags, nullptr, nullptr)))
          continue;
        latency.Block(frames);
        (void)capture->ReleaseBuffer(frames);
      }
      (void)client->Stop();
    }
    ::CoUninitialize();
  });
  while (!started)
    ::Sleep(1);
  VxHandle owned(threadHandle);
  ::Sleep(200);
  const double before = ThreadCpuMs(owned.get());
  const auto start = Clock::now();
  ::Sleep(kWindowMs);
  const double cpu = ThreadCpuMs(owned.get()) - before;
  const double wall = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  stop = true;
  worker.join();
  if (latencyOut)
    *latencyOut = latency;
  return {100.0 * cpu / wall};
}

}  // namespace

int main() {
  if (!VxTestEndpointControl::Install()) {
    std::fprintf(stderr, "loopback_bench: cannot register VxTestEndpoint.dll beside the program\n");
    return 1;
  }
  // Loaded once here, as a host that ran a capture before would have it: the
  // source's own load is then a reference count, not seconds of set-up that
  // would land between the latency clock's start and Start.
  VxModule scheduler(::LoadLibraryW(L"Avrt.dll"));
  std::printf("loopback_bench: CPU of one core, window %d ms, test endpoint\n", kWindowMs);

  VxTestEndpointConfig silent;
  silent.packetFrames = 480;
  silent.gapAfterFrames = 480;
  silent.gapMs = 3600000;
  {
    VxTestEndpointScope endpoint(silent);
    const Figures base = MeasureBaseline(nullptr);
    const Figures source = MeasureSource(nullptr);
    std::printf(
        "1. nothing playing:      source %6.2f%%   baseline %6.2f%%   (goal: source < 1%%)\n",
        source.cpuPercent, base.cpuPercent);
  }

  VxTestEndpointConfig loud;
  loud.channels = 8;
  loud.channelMask = 0x63F;
  loud.sampleRate = 192000;
  LatencyLog sourceLatency, baseLatency;
  {
    VxTestEndpointScope endpoint(loud);
    const Figures base = MeasureBaseline(&baseLatency);
    const Figures source = MeasureSource(&sourceLatency);
    std::printf("2. 8 ch float 192 kHz:   source %6.2f%%   baseline %6.2f%%\n", source.cpuPercent,
                base.cpuPercent);
  }
  std::printf("3. packet available -> Write (10 ms packets, real time):\n");
  sourceLatency.Print("source");
  baseLatency.Print("baseline");

  std::printf("4. clocks (5 ms packets, engine buffer of 3):\n");
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  for (const bool windowsTick : {false, true}) {
    VxTestEndpointConfig clocked;
    clocked.packetFrames = 240;
    clocked.recordPackets = 0;
    clocked.recordFile = std::wstring(temp) + L"loopback_bench_record.txt";
    VxTestEndpointConfig idle = clocked;
    idle.gapAfterFrames = 240;
    idle.gapMs = 3600000;
    std::optional<VxWindowsClock> clock;
    if (windowsTick)
      clock.emplace();
    double idleCpu = 0;
    {
      VxTestEndpointScope endpoint(idle);
      idleCpu = MeasureSource(nullptr).cpuPercent;
    }
    (void)VxTestEndpointControl::ResetRecord(clocked.recordFile);
    const int streamMs = 60000;
    double streamCpu = 0;
    {
      VxTestEndpointScope endpoint(clocked);
      streamCpu = MeasureSource(nullptr, streamMs).cpuPercent;
    }
    const auto record = VxTestEndpointControl::ReadRecord(clocked.recordFile);
    const VxTestRecordSummary summary = VxTestEndpointControl::Summarize(record);
    uint64_t fetched = 0;
    for (const VxTestRecordLine& line : record)
      if (line.event == "stream-summary")
        fetched += line.Number("frames");
    std::printf(
        "  %-22s idle %6.2f%%   streaming %6.2f%%   %5.1f s: %llu frames fetched, %llu lost, "
        "%.0f polls/s\n",
        windowsTick ? "Windows tick 15.6 ms" : "Wine's exact clock", idleCpu, streamCpu,
        streamMs / 1000.0, static_cast<unsigned long long>(fetched),
        static_cast<unsigned long long>(summary.lostFrames),
        summary.sizeCalls * 1000.0 / (streamMs + 200));
    for (const VxTestRecordLine& line : record)
      if (line.event == "overrun")
        std::printf("    overrun at %.3f s of the stream: %llu frames\n",
                    static_cast<double>(line.Number("frame")) / clocked.sampleRate,
                    static_cast<unsigned long long>(line.Number("lost")));
    ::DeleteFileW(clocked.recordFile.c_str());
  }
  (void)VxTestEndpointControl::Remove();
  return 0;
}
