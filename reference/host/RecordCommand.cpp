// vxhost record: records one of the plug-in's sources into a WAV file.
//
// The recorder is the same for every source: it opens the output, lets the
// source's opener (VxRecordSource.h) set up and name the parameter string,
// opens the plug-in's source with its own sink, writes what the sink receives
// to the WAV file, prints progress once a second, and stops on the sink's
// SourceEnded, the opener's end handle, --seconds or Ctrl+C. The source is
// then deleted the way the host deletes it.
#include <windows.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "foundation/VxHandle.h"
#include "live_Main/boundary/IVxAudioLive.h"
#include "reference/host/VxHostCommands.h"
#include "reference/host/VxHostPlugin.h"
#include "reference/host/VxLevelMeter.h"
#include "reference/host/VxRecordSource.h"
#include "reference/host/VxWavWriter.h"

namespace {

HANDLE g_interrupt = nullptr;

BOOL WINAPI OnConsoleControl(DWORD type) {
  if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT) {
    SetEvent(g_interrupt);
    return TRUE;
  }
  return FALSE;
}

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

 private:
  VxWavWriter& writer_;
  VxLevelMeter& meter_;
  HANDLE ended_;
};

struct Options {
  std::wstring output;
  const VxRecordSourceEntry* entry = nullptr;
  std::unique_ptr<VxRecordSource> source;
  double seconds = 0;  // 0: until the stream ends or Ctrl+C
  bool quiet = false;
};

void PrintUsage() {
  std::wprintf(
      L"usage: vxhost record <file.wav> [--source NAME] [options]\n"
      L"  Records a source of the plug-in into a WAV file; stops when the source\n"
      L"  ends, after --seconds, or on Ctrl+C.\n"
      L"  --source NAME       the source to record (default %ls)\n"
      L"  --seconds S         stop after S seconds (default: when the stream ends)\n"
      L"  --quiet             no progress lines\n",
      VxRecordSources().front().name);
  for (const VxRecordSourceEntry& entry : VxRecordSources())
    std::wprintf(L"\n--source %ls: %ls\n%ls", entry.name, entry.summary, entry.options);
}

const VxRecordSourceEntry* FindSource(const std::wstring& name) {
  for (const VxRecordSourceEntry& entry : VxRecordSources())
    if (name == entry.name)
      return &entry;
  return nullptr;
}

bool ParseOptions(int argc, wchar_t** argv, Options& o, std::wstring& error) {
  if (argc < 1 || argv[0][0] == L'-') {
    error = L"the output file comes first";
    return false;
  }
  o.output = VxHostAbsolutePath(argv[0]);
  // --source decides who parses the other options, so it is found first.
  o.entry = &VxRecordSources().front();
  for (int i = 1; i < argc; ++i) {
    if (std::wstring(argv[i]) != L"--source")
      continue;
    const wchar_t* v = VxRecordOptionValue(argc, argv, i, error);
    if (!v)
      return false;
    if (!(o.entry = FindSource(v))) {
      error = L"--source \"" + std::wstring(v) + L"\": no such source (see record --help)";
      return false;
    }
  }
  o.source = o.entry->create();
  for (int i = 1; i < argc; ++i) {
    const std::wstring a = argv[i];
    if (a == L"--source") {
      ++i;
    } else if (a == L"--seconds") {
      const wchar_t* v = VxRecordOptionValue(argc, argv, i, error);
      if (!v)
        return false;
      wchar_t* end = nullptr;
      o.seconds = std::wcstod(v, &end);
      if (end == v || *end != 0 || !(o.seconds > 0) || !std::isfinite(o.seconds)) {
        error = L"--seconds \"" + std::wstring(v) + L"\": expected a number of seconds above 0";
        return false;
      }
    } else if (a == L"--quiet") {
      o.quiet = true;
    } else if (!o.source->ParseOption(argc, argv, i, error)) {
      return false;
    }
  }
  return o.source->CheckOptions(error);
}

std::wstring PeakText(const std::vector<double>& peaks) {
  std::wstring s;
  const size_t shown = peaks.size() < 8 ? peaks.size() : 8;
  for (size_t c = 0; c < shown; ++c) {
    wchar_t buf[32];
    if (peaks[c] <= 0)
      swprintf(buf, 32, L" -inf");
    else
      swprintf(buf, 32, L" %.1f", 20.0 * std::log10(peaks[c]));
    s += buf;
  }
  if (peaks.size() > shown)
    s += L" ...";
  return s + L" dBFS";
}

int Fail(const std::wstring& message) {
  std::fwprintf(stderr, L"record: %ls\n", message.c_str());
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

struct TimerQueueTimerTraits {
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  // Waits for a running callback, which touches the interrupt event.
  static void Close(Type h) { ::DeleteTimerQueueTimer(nullptr, h, INVALID_HANDLE_VALUE); }
};
using TimerQueueTimer = VxUniqueHandle<TimerQueueTimerTraits>;

std::atomic<bool> g_timeUp{false};

void CALLBACK OnTimeUp(void* event, BOOLEAN) {
  g_timeUp = true;
  ::SetEvent(event);
}

int RunRecordCommand(int argc, wchar_t** argv) {
  if (argc >= 1 && (wcscmp(argv[0], L"--help") == 0 || wcscmp(argv[0], L"-h") == 0)) {
    PrintUsage();
    return 0;
  }
  Options o;
  std::wstring error;
  if (!ParseOptions(argc, argv, o, error)) {
    std::fwprintf(stderr,
                  L"record: %ls\nusage: vxhost record <file.wav> [--source NAME] [options] "
                  L"(vxhost record --help lists them)\n",
                  error.c_str());
    return 2;
  }
  for (const std::wstring& input : o.source->InputFiles())
    if (IsSameFile(o.output, input))
      return Fail(o.output + L" is also an input of this recording; choose another output");

  // The output is opened before anything else runs, so that a path that cannot
  // be written fails first and with its own message.
  VxWavWriter writer;
  if (!writer.Open(o.output))
    return Fail(L"cannot create " + o.output + L" (error " + std::to_wstring(::GetLastError()) +
                L")");
  // Until audio arrives the file is only a promise: a run that fails before
  // leaves nothing behind.
  auto failEarly = [&](const std::wstring& message) {
    (void)writer.Close();
    ::DeleteFileW(o.output.c_str());
    return Fail(message);
  };

  VxHandle interrupt(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  VxHandle ended(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  g_interrupt = interrupt.get();
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  // --seconds is the user's stop on a timer. It counts from the start of the
  // recording, or from the start of a wait for a producer the user brings.
  TimerQueueTimer timer;
  auto startTimer = [&] {
    return o.seconds <= 0 || timer ||
           ::CreateTimerQueueTimer(timer.put(), nullptr, OnTimeUp, interrupt.get(),
                                   static_cast<DWORD>(o.seconds * 1000), 0, WT_EXECUTEONLYONCE);
  };
  if (o.source->WaitsForUser() && !startTimer())
    return failEarly(L"cannot start the --seconds timer");

  VxHostPlugin host;
  if (!host.LoadTools() || !host.LoadPlugin())
    return failEarly(host.Error());
  if (!o.source->Prepare(interrupt.get(), error))
    return failEarly(error);

  VxLevelMeter meter;
  RecordingSink sink(writer, meter, ended.get());
  IVxAudioLive* source = nullptr;
  const int32_t index = o.source->FactoryIndex();
  if (host.GetLivePlugin()(index, &source) != 0 || !source)
    return failEarly(L"the plug-in offers no " + std::wstring(o.entry->name) +
                     L" source (factory index " + std::to_wstring(index) + L")");
  const std::wstring params = o.source->Parameters(*source);
  if (source->Open(reinterpret_cast<const char16_t*>(params.c_str()), &sink) != 0) {
    VxDeleteSource(source);
    return failEarly(L"the " + std::wstring(o.entry->name) + L" source refused to open with \"" +
                     params + L"\"");
  }
  if (!startTimer()) {
    VxDeleteSource(source);
    return failEarly(L"cannot start the --seconds timer");
  }
  wprintf(L"Recording %ls source (%ls) into %ls\n", o.entry->name, params.c_str(),
          o.output.c_str());
  fflush(stdout);

  // Wakes twice a second: the file's header is brought up to date on every
  // wake, so a killed recorder loses at most about the last second.
  constexpr DWORD kTickMs = 500;
  const ULONGLONG start = GetTickCount64();
  ULONGLONG nextProgress = start + 1000;
  const wchar_t* reason = L"the stream ended";
  VxRecordOutcome outcome;
  bool syncFailed = false;
  for (;;) {
    HANDLE waits[3] = {ended.get(), interrupt.get(), o.source->EndHandle()};
    const DWORD r = WaitForMultipleObjects(waits[2] ? 3 : 2, waits, FALSE, kTickMs);
    if (r == WAIT_OBJECT_0) {
      outcome.sourceEnded = true;
      break;
    }
    if (r == WAIT_OBJECT_0 + 1) {
      reason = g_timeUp ? L"duration reached" : L"interrupted";
      outcome.userStopped = true;
      break;
    }
    if (r == WAIT_OBJECT_0 + 2) {
      reason = L"the source's side ended";
      break;
    }
    if (!writer.Sync())
      syncFailed = true;
    const ULONGLONG now = GetTickCount64();
    if (now >= nextProgress) {
      nextProgress += 1000;
      if (!o.quiet)
        wprintf(L"%7.1f s %14llu bytes %ls\n", (now - start) / 1000.0,
                static_cast<unsigned long long>(sink.bytes_.load()),
                PeakText(meter.TakePeaks()).c_str());
      fflush(stdout);
    }
  }
  VxDeleteSource(source);
  const bool closed = writer.Close();
  outcome.bytes = sink.bytes_;
  outcome.formats = sink.formats_;
  std::wstring sourceError;
  const bool sourceOk = o.source->Finish(outcome, sourceError);

  const VxAudioFormat f = writer.Format();
  const double audioSeconds = writer.HasFormat() && f.bytesPerSecond
                                  ? static_cast<double>(writer.DataBytes()) / f.bytesPerSecond
                                  : 0;
  wprintf(L"Stopped: %ls after %.1f s\n", reason, (GetTickCount64() - start) / 1000.0);
  wprintf(
      L"Format: %u Hz, %u channels, %u bits %ls (tag 0x%04x); formats accepted %d, refused %d\n",
      f.sampleRate, f.channels, f.bitsPerSample, f.IsFloat() ? L"float" : L"integer", f.formatTag,
      sink.formats_.load(), sink.refusedFormats_.load());
  wprintf(
      L"Received %llu bytes in %llu blocks (%llu awaiting replies), %.2f s of audio; SourceEnded "
      L"calls: %d\n",
      static_cast<unsigned long long>(sink.bytes_.load()),
      static_cast<unsigned long long>(sink.blocks_.load()),
      static_cast<unsigned long long>(sink.waitingBlocks_.load()), audioSeconds,
      sink.endedCalls_.load());
  wprintf(L"Wrote %ls (%llu data bytes)\n", o.output.c_str(),
          static_cast<unsigned long long>(writer.DataBytes()));
  fflush(stdout);

  int rc = 0;
  if (!sourceOk)
    rc = Fail(sourceError);
  if (sink.formats_ == 0)
    rc = Fail(L"no format was accepted");
  if (sink.bytes_ == 0)
    rc = Fail(L"no audio arrived");
  if (sink.writeFailed_ || syncFailed || !closed)
    rc = Fail(L"writing " + o.output + L" failed" + (writer.Full() ? L" (4 GiB WAV limit)" : L""));
  return rc;
}

const VxHostCommandRegistration kRegistration{
    {L"record", L"<file.wav> [--source NAME] [options]",
     L"records a source of the plug-in into a WAV file (record --help)", RunRecordCommand}};

}  // namespace
