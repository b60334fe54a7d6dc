#include "reference/host/VxRecorder.h"

#include <windows.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cwchar>
#include <vector>

#include "foundation/VxHandle.h"
#include "live_Main/boundary/IVxAudioLive.h"
#include "reference/host/VxConsoleText.h"
#include "reference/host/VxHostPlugin.h"
#include "reference/host/VxLevelMeter.h"
#include "reference/host/VxLogCapture.h"
#include "reference/host/VxMessagePump.h"
#include "reference/host/VxProcessProbe.h"
#include "reference/host/VxWavWriter.h"

namespace {

HANDLE g_interrupt = nullptr;
std::atomic<bool> g_timeUp{false};

BOOL WINAPI OnConsoleControl(DWORD type) {
  if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT) {
    SetEvent(g_interrupt);
    return TRUE;
  }
  return FALSE;
}

void CALLBACK OnTimeUp(void* event, BOOLEAN) {
  g_timeUp = true;
  ::SetEvent(event);
}

struct TimerQueueTimerTraits {
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  // Waits for a running callback, which touches the interrupt event.
  static void Close(Type h) { ::DeleteTimerQueueTimer(nullptr, h, INVALID_HANDLE_VALUE); }
};
using TimerQueueTimer = VxUniqueHandle<TimerQueueTimerTraits>;

class RecordingSink final : public IVxAudioLiveSink {
 public:
  RecordingSink(VxWavWriter& writer, VxLevelMeter& meter, HANDLE ended)
      : writer_(writer), meter_(meter), ended_(ended) {}

  int32_t SetFormat(const VxAudioFormat* format) override {
    if (!format || !writer_.SetFormat(*format)) {
      refusedFormats_++;
      return -1;
    }
    meter_.SetFormat(*format);
    formats_++;
    return 0;
  }
  void Write(const void* data, int32_t byteCount, bool flag) override {
    if (byteCount <= 0)
      return;
    const ULONGLONG now = ::GetTickCount64();
    const ULONGLONG last = lastBlockMs_.exchange(now);
    if (last && now - last > longestGapMs_)
      longestGapMs_ = now - last;
    if (static_cast<uint64_t>(byteCount) > largestBlock_)
      largestBlock_ = static_cast<uint64_t>(byteCount);
    if (!writer_.Write(data, static_cast<size_t>(byteCount)))
      writeFailed_ = true;
    meter_.Feed(data, static_cast<size_t>(byteCount));
    bytes_ += static_cast<uint64_t>(byteCount);
    blocks_++;
    if (flag)
      waitingBlocks_++;
  }
  void SourceEnded() override {
    endedCalls_++;
    SetEvent(ended_);
  }

  std::atomic<uint64_t> bytes_{0};
  std::atomic<uint64_t> blocks_{0};
  std::atomic<uint64_t> waitingBlocks_{0};
  std::atomic<int> formats_{0};
  std::atomic<int> refusedFormats_{0};
  std::atomic<int> endedCalls_{0};
  std::atomic<bool> writeFailed_{false};
  std::atomic<ULONGLONG> lastBlockMs_{0};  // GetTickCount64 at the latest block; 0: none yet
  std::atomic<ULONGLONG> longestGapMs_{0};
  std::atomic<uint64_t> largestBlock_{0};  // bytes: one buffer period of a sound card

 private:
  VxWavWriter& writer_;
  VxLevelMeter& meter_;
  HANDLE ended_;
};

std::wstring Decibels(double level) {
  wchar_t text[32];
  if (level <= 0)
    swprintf(text, 32, L"-inf");
  else
    swprintf(text, 32, L"%.1f", 20.0 * std::log10(level));
  return text;
}

std::wstring PeakText(const std::vector<double>& peaks) {
  std::wstring s;
  const size_t shown = peaks.size() < 8 ? peaks.size() : 8;
  for (size_t c = 0; c < shown; ++c)
    s += L" " + Decibels(peaks[c]);
  if (peaks.size() > shown)
    s += L" ...";
  return s + L" dBFS";
}

int Fail(const std::wstring& message) {
  VxPrint(stderr, L"record: %ls\n", message.c_str());
  return 1;
}

// The identity of an existing file, so that two spellings of one path (case,
// short names, links) compare equal.
bool FileIdentity(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
  VxFileHandle file(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return file && ::GetFileInformationByHandle(file.get(), &info);
}

bool IsSameFile(const std::wstring& a, const std::wstring& b) {
  if (::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL)
    return true;
  BY_HANDLE_FILE_INFORMATION x, y;
  return FileIdentity(a, x) && FileIdentity(b, y) &&
         x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
         x.nFileIndexLow == y.nFileIndexLow;
}

class Recorder {
 public:
  explicit Recorder(VxRecordOptions& o)
      : o_(o),
        interrupt_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        ended_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        sink_(writer_, meter_, ended_.get()) {}

  int Run() {
    for (const std::wstring& input : o_.source->InputFiles())
      if (IsSameFile(o_.output, input))
        return Fail(o_.output + L" is also an input of this recording; choose another output");
    // The output is opened before anything else runs, so that a path that
    // cannot be written fails first and with its own message.
    if (!writer_.Open(o_.output))
      return Fail(L"cannot create " + o_.output + L": " + VxSystemErrorText(::GetLastError()));
    // For trying the RF64 path without writing 4 GiB.
    wchar_t threshold[32] = {};
    if (::GetEnvironmentVariableW(L"VXHOST_RF64_AFTER", threshold, 32) > 0)
      writer_.SetRf64Threshold(std::wcstoull(threshold, nullptr, 10));
    g_interrupt = interrupt_.get();
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    if (o_.source->WaitsForUser() && !StartTimer())
      return FailEarly(L"cannot start the --seconds timer");
    std::wstring error;
    if (!OpenSource(error))
      return FailEarly(error);
    if (!StartTimer()) {
      VxDeleteSource(source_);
      return FailEarly(L"cannot start the --seconds timer");
    }
    if (params_.empty())
      VxPrint(stdout, L"Recording %ls source (no parameters) into %ls\n", o_.entry->name,
              o_.output.c_str());
    else
      VxPrint(stdout, L"Recording %ls source (%ls) into %ls\n", o_.entry->name, params_.c_str(),
              o_.output.c_str());
    std::fflush(stdout);
    RecordUntilStop();
    VxDeleteSource(source_);
    const bool closed = writer_.Close();
    VxRecordOutcome outcome = outcome_;
    outcome.bytes = sink_.bytes_;
    outcome.formats = sink_.formats_;
    std::wstring sourceError;
    const bool sourceOk = o_.source->Finish(outcome, sourceError);
    PrintSummary();
    int rc = 0;
    if (!sourceOk)
      rc = Fail(sourceError);
    if (sink_.formats_ == 0)
      rc = Fail(L"no format was accepted");
    if (sink_.bytes_ == 0)
      rc = Fail(L"no audio arrived");
    if (outcome_.stalled)
      rc = Fail(L"the stream stalled after " + Seconds(stalledAtMs_ - start_) + L" s; " +
                o_.output + L" holds what arrived");
    if (sink_.writeFailed_ || syncFailed_ || !closed)
      rc = Fail(L"writing " + o_.output + L" failed");
    return rc;
  }

 private:
  // Until audio arrives the file is only a promise: a run that fails before
  // leaves nothing behind.
  int FailEarly(const std::wstring& message) {
    (void)writer_.Close();
    ::DeleteFileW(o_.output.c_str());
    return Fail(message);
  }

  // --seconds is the user's stop on a timer. It counts from the start of the
  // recording, or from the start of a wait for a producer the user brings.
  bool StartTimer() {
    return o_.seconds <= 0 || timer_ ||
           ::CreateTimerQueueTimer(timer_.put(), nullptr, OnTimeUp, interrupt_.get(),
                                   static_cast<DWORD>(o_.seconds * 1000), 0, WT_EXECUTEONLYONCE);
  }

  // Loads the plug-in, lets the opener set up, creates the source and opens
  // it. A refusal names what the source logged during the attempt.
  bool OpenSource(std::wstring& error) {
    if (!host_.LoadTools() || !host_.LoadPlugin()) {
      error = host_.Error();
      return false;
    }
    if (!o_.source->Prepare(interrupt_.get(), error))
      return false;
    const int32_t index = o_.source->FactoryIndex();
    if (host_.GetLivePlugin()(index, &source_) != 0 || !source_) {
      error = L"the plug-in offers no " + std::wstring(o_.entry->name) +
              L" source (factory index " + std::to_wstring(index) + L")";
      return false;
    }
    params_ = o_.source->Parameters(*source_);
    VxLogCapture capture(host_);
    if (source_->Open(reinterpret_cast<const char16_t*>(params_.c_str()), &sink_) == 0)
      return true;
    const std::vector<std::wstring> reasons = capture.Stop();
    VxDeleteSource(source_);
    source_ = nullptr;
    error = L"the " + std::wstring(o_.entry->name) + L" source refused to open" +
            (params_.empty() ? L"" : L" with \"" + params_ + L"\"");
    if (reasons.empty())
      error += L"; it logged no reason (the host log VxTools.log in the host folder has the rest)";
    else
      error += L"; it logged:";
    for (const std::wstring& line : reasons)
      error += L"\n  " + line;
    return false;
  }

  // Wakes twice a second: the file's header is brought up to date on every
  // wake, so a killed recorder loses at most about the last second.
  void RecordUntilStop() {
    constexpr DWORD kTickMs = 500;
    start_ = ::GetTickCount64();
    ULONGLONG nextProgress = start_ + 1000;
    for (;;) {
      HANDLE waits[3] = {ended_.get(), interrupt_.get(), o_.source->EndHandle()};
      // The source was opened on this thread, whose messages its driver may need.
      const DWORD r = VxPumpingWait(waits[2] ? 3 : 2, waits, kTickMs);
      if (r == WAIT_OBJECT_0) {
        outcome_.sourceEnded = true;
        return;
      }
      if (r == WAIT_OBJECT_0 + 1) {
        reason_ = g_timeUp ? L"duration reached" : L"interrupted";
        outcome_.userStopped = true;
        return;
      }
      if (r == WAIT_OBJECT_0 + 2) {
        reason_ = L"the source's side ended";
        return;
      }
      if (!writer_.Sync())
        syncFailed_ = true;
      const ULONGLONG now = ::GetTickCount64();
      if (Stalled(now)) {
        reason_ = L"the stream stalled";
        outcome_.stalled = true;
        return;
      }
      if (now >= nextProgress) {
        nextProgress += 1000;
        if (!o_.quiet)
          VxPrint(stdout, L"%7.1f s %14llu bytes %ls%ls\n", (now - start_) / 1000.0,
                  static_cast<unsigned long long>(sink_.bytes_.load()),
                  PeakText(meter_.TakePeaks()).c_str(), o_.stats ? StatsText().c_str() : L"");
        std::fflush(stdout);
      }
    }
  }

  // Three buffer periods without a block is a stream that stopped; a late
  // thread on a loaded machine may hold one back for less than a second, so
  // shorter gaps do not end the recording.
  bool Stalled(ULONGLONG now) {
    constexpr ULONGLONG kShortestStallMs = 1000;
    const ULONGLONG last = sink_.lastBlockMs_;
    const VxAudioFormat f = writer_.Format();
    if (!o_.source->SteadyClock() || !last || !writer_.HasFormat() || !f.bytesPerSecond)
      return false;
    const double periodMs = static_cast<double>(sink_.largestBlock_) * 1000.0 / f.bytesPerSecond;
    if (static_cast<double>(now - last) <= 3 * periodMs || now - last <= kShortestStallMs)
      return false;
    stalledAtMs_ = last > start_ ? last : start_;
    VxPrint(stdout,
            L"The stream stalled: no audio for %ls s since %ls s (a block every %.1f ms before)\n",
            Seconds(now - last).c_str(), Seconds(stalledAtMs_ - start_).c_str(), periodMs);
    return true;
  }

  // What a soak watches for growth. Handles are counted by the table slot a
  // new handle takes, since Wine answers GetProcessHandleCount with 0; memory
  // by private bytes and, where Wine answers those with 0, the resident set.
  static std::wstring StatsText() {
    const VxProcessProbe probe = VxProcessProbe::Take();
    wchar_t text[128];
    swprintf(text, 128, L" private=%zu resident=%zu handles=%zu threads=%d", probe.privateBytes,
             probe.residentBytes, probe.handleSlot, probe.threads);
    return text;
  }

  static std::wstring Seconds(ULONGLONG ms) {
    wchar_t text[32];
    swprintf(text, 32, L"%.1f", ms / 1000.0);
    return text;
  }

  void PrintSummary() {
    const VxAudioFormat f = writer_.Format();
    const double audioSeconds = writer_.HasFormat() && f.bytesPerSecond
                                    ? static_cast<double>(writer_.DataBytes()) / f.bytesPerSecond
                                    : 0;
    VxPrint(stdout, L"Stopped: %ls after %.1f s\n", reason_,
            (::GetTickCount64() - start_) / 1000.0);
    VxPrint(stdout,
            L"Format: %u Hz, %u channels, %u bits %ls (tag 0x%04x); formats accepted %d, refused "
            L"%d\n",
            f.sampleRate, f.channels, f.bitsPerSample, f.IsFloat() ? L"float" : L"integer",
            f.formatTag, sink_.formats_.load(), sink_.refusedFormats_.load());
    VxPrint(stdout,
            L"Received %llu bytes in %llu blocks (%llu awaiting replies), %.2f s of audio; "
            L"SourceEnded calls: %d\n",
            static_cast<unsigned long long>(sink_.bytes_.load()),
            static_cast<unsigned long long>(sink_.blocks_.load()),
            static_cast<unsigned long long>(sink_.waitingBlocks_.load()), audioSeconds,
            sink_.endedCalls_.load());
    if (sink_.blocks_ > 1)
      VxPrint(stdout, L"Longest gap between blocks: %llu ms\n",
              static_cast<unsigned long long>(sink_.longestGapMs_.load()));
    const std::vector<VxChannelLevels> levels = meter_.Totals();
    if (!levels.empty())
      VxPrint(stdout, L"Channel  peak dBFS  RMS dBFS  clipped samples\n");
    for (size_t c = 0; c < levels.size(); ++c)
      VxPrint(stdout, L"%7zu  %9ls  %8ls  %15llu\n", c + 1, Decibels(levels[c].peak).c_str(),
              Decibels(levels[c].rms).c_str(), static_cast<unsigned long long>(levels[c].clipped));
    VxPrint(stdout, L"Wrote %ls (%llu data bytes%ls)\n", o_.output.c_str(),
            static_cast<unsigned long long>(writer_.DataBytes()),
            writer_.IsRf64() ? L", RF64" : L"");
    std::fflush(stdout);
  }

  VxRecordOptions& o_;
  VxHandle interrupt_;
  VxHandle ended_;
  TimerQueueTimer timer_;
  VxWavWriter writer_;
  VxLevelMeter meter_;
  RecordingSink sink_;
  VxHostPlugin host_;
  IVxAudioLive* source_ = nullptr;
  std::wstring params_;
  VxRecordOutcome outcome_;
  const wchar_t* reason_ = L"the stream ended";
  ULONGLONG start_ = 0;
  ULONGLONG stalledAtMs_ = 0;  // the last block before a stall
  bool syncFailed_ = false;
};

}  // namespace

int VxRecord(VxRecordOptions& options) {
  Recorder recorder(options);
  return recorder.Run();
}
