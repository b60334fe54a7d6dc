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
#include "live_Main/IVxAudioLive.h"
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
  VxHandle interrupt(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  VxHandle ended(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  g_interrupt = interrupt.get();
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);

  VxWavWriter writer;
  if (!writer.Open(o.output))
    return Fail(L"cannot create " + o.output);

  VxHostPlugin host;
  if (!host.LoadTools() || !host.LoadPlugin())
    return Fail(host.Error());
  if (!o.source->Prepare(interrupt.get(), error))
    return Fail(error);

  VxLevelMeter meter;
  RecordingSink sink(writer, meter, ended.get());
  IVxAudioLive* source = nullptr;
  const int32_t index = o.source->FactoryIndex();
  if (host.GetLivePlugin()(index, &source) != 0 || !source)
    return Fail(L"the plug-in offers no " + std::wstring(o.entry->name) +
                L" source (factory index " + std::to_wstring(index) + L")");
  const std::wstring params = o.source->Parameters();
  if (source->Open(reinterpret_cast<const char16_t*>(params.c_str()), &sink) != 0) {
    VxDeleteSource(source);
    return Fail(L"the " + std::wstring(o.entry->name) + L" source refused to open with \"" +
                params + L"\"");
  }
  wprintf(L"Recording %ls source (%ls) into %ls\n", o.entry->name, params.c_str(),
          o.output.c_str());

  const ULONGLONG start = GetTickCount64();
  const wchar_t* reason = L"the stream ended";
  VxRecordOutcome outcome;
  for (;;) {
    HANDLE waits[3] = {ended.get(), interrupt.get(), o.source->EndHandle()};
    const DWORD r = WaitForMultipleObjects(waits[2] ? 3 : 2, waits, FALSE, 1000);
    const double elapsed = (GetTickCount64() - start) / 1000.0;
    if (r == WAIT_OBJECT_0) {
      outcome.sourceEnded = true;
      break;
    }
    if (r == WAIT_OBJECT_0 + 1) {
      reason = L"interrupted";
      outcome.userStopped = true;
      break;
    }
    if (r == WAIT_OBJECT_0 + 2) {
      reason = L"the source's side ended";
      break;
    }
    if (!o.quiet)
      wprintf(L"%7.1f s %14llu bytes %ls\n", elapsed,
              static_cast<unsigned long long>(sink.bytes_.load()),
              PeakText(meter.TakePeaks()).c_str());
    fflush(stdout);
    if (o.seconds > 0 && elapsed >= o.seconds) {
      reason = L"duration reached";
      outcome.userStopped = true;
      break;
    }
  }
  VxDeleteSource(source);
  const bool closed = writer.Close();
  outcome.bytes = sink.bytes_;
  std::wstring sourceError;
  const bool sourceOk = o.source->Finish(outcome, sourceError);

  const VxAudioFormat& f = writer.Format();
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
  if (sink.formats_ == 0)
    rc = Fail(L"no format was accepted");
  if (sink.bytes_ == 0)
    rc = Fail(L"no audio arrived");
  if (sink.writeFailed_ || !closed)
    rc = Fail(L"writing " + o.output + L" failed" + (writer.Full() ? L" (4 GiB WAV limit)" : L""));
  if (!sourceOk)
    rc = Fail(sourceError);
  return rc;
}

const VxHostCommandRegistration kRegistration{
    {L"record", L"<file.wav> [--source NAME] [options]",
     L"records a source of the plug-in into a WAV file (record --help)", RunRecordCommand}};

}  // namespace
