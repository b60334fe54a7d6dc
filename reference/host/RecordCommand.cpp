// vxhost record: records the IPC source into a WAV file.
//
// The host side of the IPC source, as a real host would do it: create the
// server end of a named pipe (overlapped, message mode, 1 MiB buffers), start
// the producer (or wait for one), hand the handle value to the source in its
// parameter string, and write what the sink receives to a WAV file. Progress
// is printed once a second; the recording stops when the source reports the
// end of the stream, after a duration, or on Ctrl+C, and the source is then
// deleted the way the host deletes it.
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
#include "reference/host/VxWavWriter.h"

namespace {

constexpr DWORD kPipeBufferBytes = 1 << 20;

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
  std::wstring pipeName;
  std::wstring producerArgs = L"--sine --rate 48000 --channels 2 --bits 24 --duration 5";
  double seconds = 0;  // 0: until the stream ends or Ctrl+C
  bool streaming = false;
  bool waitForProducer = false;
  bool quiet = false;
};

void PrintUsage() {
  fwprintf(stderr,
           L"usage: vxhost record <file.wav> [options]\n"
           L"  Records the IPC source into a WAV file.\n"
           L"  --producer \"ARGS\"   arguments for vxproducer.exe (started from this folder;\n"
           L"                      --pipe and --streaming are added). Default:\n"
           L"                      \"--sine --rate 48000 --channels 2 --bits 24 --duration 5\"\n"
           L"  --wait              start no producer: print the pipe name and wait for one\n"
           L"  --pipe-name NAME    pipe name (default \\\\.\\pipe\\vxhost-<pid>)\n"
           L"  --streaming         streaming mode (no replies)\n"
           L"  --seconds S         stop after S seconds (default: when the stream ends)\n"
           L"  --quiet             no progress lines\n");
}

bool ParseOptions(int argc, wchar_t** argv, Options& o) {
  if (argc < 1)
    return false;
  o.output = VxHostAbsolutePath(argv[0]);
  for (int i = 1; i < argc; ++i) {
    const std::wstring a = argv[i];
    auto next = [&](std::wstring& out) {
      if (i + 1 >= argc)
        return false;
      out = argv[++i];
      return true;
    };
    std::wstring v;
    if (a == L"--producer") {
      if (!next(o.producerArgs))
        return false;
    } else if (a == L"--pipe-name") {
      if (!next(o.pipeName))
        return false;
    } else if (a == L"--seconds") {
      if (!next(v))
        return false;
      o.seconds = _wtof(v.c_str());
      if (!(o.seconds > 0))
        return false;
    } else if (a == L"--streaming") {
      o.streaming = true;
    } else if (a == L"--wait") {
      o.waitForProducer = true;
    } else if (a == L"--quiet") {
      o.quiet = true;
    } else {
      fwprintf(stderr, L"record: unknown option %ls\n", a.c_str());
      return false;
    }
  }
  if (o.pipeName.empty())
    o.pipeName = L"\\\\.\\pipe\\vxhost-" + std::to_wstring(GetCurrentProcessId());
  return true;
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

// Waits for the producer to connect to the server end.
bool WaitForClient(HANDLE pipe, HANDLE producer, DWORD timeoutMs) {
  VxHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  OVERLAPPED ov = {};
  ov.hEvent = event.get();
  if (ConnectNamedPipe(pipe, &ov))
    return true;
  const DWORD error = GetLastError();
  if (error == ERROR_PIPE_CONNECTED)
    return true;
  if (error != ERROR_IO_PENDING)
    return false;
  HANDLE waits[3] = {event.get(), g_interrupt, producer};
  const DWORD count = producer ? 3 : 2;
  const DWORD r = WaitForMultipleObjects(count, waits, FALSE, timeoutMs);
  if (r == WAIT_OBJECT_0) {
    DWORD ignored;
    return GetOverlappedResult(pipe, &ov, &ignored, FALSE) != 0;
  }
  CancelIo(pipe);
  DWORD ignored;
  GetOverlappedResult(pipe, &ov, &ignored, TRUE);
  return false;
}

}  // namespace

int RunRecordCommand(int argc, wchar_t** argv) {
  if (argc >= 1 && (wcscmp(argv[0], L"--help") == 0 || wcscmp(argv[0], L"-h") == 0)) {
    PrintUsage();
    return 0;
  }
  Options o;
  if (!ParseOptions(argc, argv, o)) {
    PrintUsage();
    return 2;
  }
  VxHandle interrupt(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  VxHandle ended(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  g_interrupt = interrupt.get();
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);

  const std::wstring folder = VxHostFolder();
  VxHostPlugin host;
  if (!host.LoadTools() || !host.LoadPlugin()) {
    fwprintf(stderr, L"record: %ls\n", host.Error().c_str());
    return 1;
  }

  VxFileHandle pipe(CreateNamedPipeW(o.pipeName.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                     PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1,
                                     kPipeBufferBytes, kPipeBufferBytes, 0, nullptr));
  if (!pipe) {
    fwprintf(stderr, L"record: cannot create pipe %ls (error %lu)\n", o.pipeName.c_str(),
             GetLastError());
    return 1;
  }

  VxHandle producer;
  if (o.waitForProducer) {
    wprintf(L"Waiting for a producer on %ls (Ctrl+C to give up)\n", o.pipeName.c_str());
  } else {
    std::wstring cmd =
        L"\"" + folder + L"vxproducer.exe\" --pipe " + o.pipeName + L" " + o.producerArgs;
    if (o.streaming)
      cmd += L" --streaming";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::vector<wchar_t> line(cmd.begin(), cmd.end());
    line.push_back(0);
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
      fwprintf(stderr, L"record: cannot start producer: %ls (error %lu)\n", cmd.c_str(),
               GetLastError());
      return 1;
    }
    VxHandle thread(pi.hThread);
    producer.reset(pi.hProcess);
    wprintf(L"Started producer: %ls\n", cmd.c_str());
  }
  if (!WaitForClient(pipe.get(), producer.get(), o.waitForProducer ? INFINITE : 30000)) {
    fwprintf(stderr, L"record: no producer connected to %ls\n", o.pipeName.c_str());
    return 1;
  }

  VxWavWriter writer;
  if (!writer.Open(o.output)) {
    fwprintf(stderr, L"record: cannot create %ls\n", o.output.c_str());
    return 1;
  }
  VxLevelMeter meter;
  RecordingSink sink(writer, meter, ended.get());

  IVxAudioLive* source = nullptr;
  if (host.GetLivePlugin()(2, &source) != 0 || !source) {
    fwprintf(stderr, L"record: the plug-in offers no IPC source (factory index 2)\n");
    return 1;
  }
  wchar_t params[128];
  swprintf(params, 128, L"pipe=0x%llx%ls",
           static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(pipe.get())),
           o.streaming ? L"&streaming=1" : L"");
  // From here the source owns the handle: it flushes, disconnects and closes it.
  (void)pipe.release();
  if (source->Open(reinterpret_cast<const char16_t*>(params), &sink) != 0) {
    fwprintf(stderr, L"record: the IPC source refused to open with \"%ls\"\n", params);
    VxDeleteSource(source);
    return 1;
  }
  wprintf(L"Recording IPC source (%ls) into %ls\n", params, o.output.c_str());

  const ULONGLONG start = GetTickCount64();
  const wchar_t* reason = L"the stream ended";
  for (;;) {
    HANDLE waits[2] = {ended.get(), interrupt.get()};
    const DWORD r = WaitForMultipleObjects(2, waits, FALSE, 1000);
    const double elapsed = (GetTickCount64() - start) / 1000.0;
    if (r == WAIT_OBJECT_0)
      break;
    if (r == WAIT_OBJECT_0 + 1) {
      reason = L"interrupted";
      break;
    }
    if (!o.quiet)
      wprintf(L"%7.1f s %14llu bytes %ls\n", elapsed,
              static_cast<unsigned long long>(sink.bytes_.load()),
              PeakText(meter.TakePeaks()).c_str());
    fflush(stdout);
    if (o.seconds > 0 && elapsed >= o.seconds) {
      reason = L"duration reached";
      break;
    }
  }
  VxDeleteSource(source);
  const bool closed = writer.Close();

  DWORD producerExit = 0;
  if (producer) {
    if (WaitForSingleObject(producer.get(), 10000) != WAIT_OBJECT_0)
      TerminateProcess(producer.get(), 1);
    GetExitCodeProcess(producer.get(), &producerExit);
  }

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
  if (producer)
    wprintf(L"Producer exit code: %lu\n", producerExit);

  int rc = 0;
  if (sink.formats_ == 0) {
    fwprintf(stderr, L"record: no format was accepted\n");
    rc = 1;
  }
  if (sink.bytes_ == 0) {
    fwprintf(stderr, L"record: no audio arrived\n");
    rc = 1;
  }
  if (sink.writeFailed_ || !closed) {
    fwprintf(stderr, L"record: writing %ls failed%ls\n", o.output.c_str(),
             writer.Full() ? L" (4 GiB WAV limit)" : L"");
    rc = 1;
  }
  if (producer && producerExit != 0) {
    fwprintf(stderr, L"record: the producer failed (exit code %lu)\n", producerExit);
    rc = 1;
  }
  return rc;
}
