// The IPC source for "vxhost record": the host side of the pipe, as a real host
// would do it. Creates the server end of a named pipe, starts vxproducer.exe
// from the host folder in a job object (so that it never outlives the host) or
// waits for any producer, and hands the handle value to the plug-in's source
// in "pipe=". The producer's exit code decides whether its side of the run
// went well.
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "foundation/VxHandle.h"
#include "reference/host/VxConsoleText.h"
#include "reference/host/VxHostPlugin.h"
#include "reference/host/VxPipeServer.h"
#include "reference/host/VxRecordSource.h"

const wchar_t kIpcRecordOptions[] =
    L"  --producer \"ARGS\"   arguments for vxproducer.exe (started from the host folder;\n"
    L"                      --pipe and --streaming are added). Default:\n"
    L"                      \"--sine --rate 48000 --channels 2 --bits 24 --duration 5\"\n"
    L"  --wait              start no producer: print the pipe name and wait for one\n"
    L"                      (--seconds limits the wait too)\n"
    L"  --pipe-name NAME    pipe name (default \\\\.\\pipe\\vxhost-<pid>)\n"
    L"  --streaming         streaming mode (no replies); the producer must use it too\n"
    L"  --quiet-producer    the producer's output goes nowhere\n";

namespace {

constexpr DWORD kConnectTimeoutMs = 30000;
constexpr DWORD kProducerExitTimeoutMs = 10000;

std::vector<std::wstring> SplitArguments(const std::wstring& text) {
  std::vector<std::wstring> out;
  int count = 0;
  const std::wstring line = L"vxproducer " + text;
  if (wchar_t** argv = ::CommandLineToArgvW(line.c_str(), &count)) {
    out.assign(argv + 1, argv + count);
    ::LocalFree(argv);
  }
  return out;
}

class IpcRecordSource final : public VxRecordSource {
 public:
  bool ParseOption(int argc, wchar_t** argv, int& i, std::wstring& error) override {
    const std::wstring a = argv[i];
    const wchar_t* v = nullptr;
    if (a == L"--producer") {
      if (!(v = VxRecordOptionValue(argc, argv, i, error)))
        return false;
      producerArgs_ = v;
    } else if (a == L"--pipe-name") {
      if (!(v = VxRecordOptionValue(argc, argv, i, error)))
        return false;
      pipeName_ = v;
      if (pipeName_.rfind(L"\\\\", 0) != 0)
        pipeName_ = L"\\\\.\\pipe\\" + pipeName_;
    } else if (a == L"--streaming") {
      streaming_ = true;
    } else if (a == L"--wait") {
      waitForProducer_ = true;
    } else if (a == L"--quiet-producer") {
      quietProducer_ = true;
    } else {
      error = L"unknown option " + a;
      return false;
    }
    return true;
  }

  bool CheckOptions(std::wstring& error) override {
    for (const std::wstring& a : SplitArguments(producerArgs_)) {
      if (a == L"--pipe") {
        error = L"--producer: leave out --pipe, the host adds it (use --pipe-name)";
        return false;
      }
      if (a == L"--streaming" && !streaming_) {
        error =
            L"--producer has --streaming but the host would expect replies: give --streaming to "
            L"record instead, it is passed on";
        return false;
      }
    }
    return true;
  }

  std::vector<std::wstring> InputFiles() const override {
    std::vector<std::wstring> files;
    const std::vector<std::wstring> args = SplitArguments(producerArgs_);
    for (size_t i = 0; i + 1 < args.size(); ++i)
      if (args[i] == L"--wav")
        files.push_back(VxHostAbsolutePath(args[i + 1]));
    return files;
  }

  bool Prepare(HANDLE interrupt, std::wstring& error) override {
    if (pipeName_.empty())
      pipeName_ = L"\\\\.\\pipe\\vxhost-" + std::to_wstring(::GetCurrentProcessId());
    pipe_.reset(VxCreatePipeServer(pipeName_));
    if (!pipe_) {
      error = L"cannot create pipe " + pipeName_ + L": " + VxSystemErrorText(::GetLastError());
      return false;
    }
    if (waitForProducer_) {
      VxPrint(stdout, L"Waiting for a producer on %ls (Ctrl+C to give up)\n", pipeName_.c_str());
      std::fflush(stdout);
    } else if (!StartProducer(error)) {
      return false;
    }
    const HANDLE cancel[2] = {interrupt, producer_.get()};
    if (!VxWaitForPipeClient(pipe_.get(), waitForProducer_ ? INFINITE : kConnectTimeoutMs, cancel,
                             producer_ ? 2 : 1)) {
      error = L"no producer connected to " + pipeName_;
      if (producer_ && ::WaitForSingleObject(producer_.get(), 0) == WAIT_OBJECT_0)
        error += L": the producer ended first (exit code " + std::to_wstring(ExitCode()) + L")";
      else if (::WaitForSingleObject(interrupt, 0) == WAIT_OBJECT_0)
        error += L" before the stop";
      return false;
    }
    // A producer we did not start is judged by its exit code all the same.
    if (!producer_) {
      if (const DWORD id = VxPipeClientProcessId(pipe_.get()))
        producer_.reset(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
    }
    return true;
  }

  bool WaitsForUser() const override { return waitForProducer_; }

  int32_t FactoryIndex() const override { return 2; }

  std::wstring Parameters(IVxAudioLive&) override {
    wchar_t params[64];
    std::swprintf(params, 64, L"pipe=0x%llx%ls",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(pipe_.get())),
                  streaming_ ? L"&streaming=1" : L"");
    // The source flushes, disconnects and closes the handle from here on.
    (void)pipe_.release();
    return params;
  }

  bool Finish(const VxRecordOutcome& outcome, std::wstring& error) override {
    if (!producer_)
      return true;
    if (outcome.userStopped) {
      // Cut off mid-send by the user's stop: how it exits says nothing.
      if (::WaitForSingleObject(producer_.get(), kProducerExitTimeoutMs) != WAIT_OBJECT_0)
        ::TerminateProcess(producer_.get(), 1);
      return true;
    }
    if (::WaitForSingleObject(producer_.get(), kProducerExitTimeoutMs) != WAIT_OBJECT_0) {
      ::TerminateProcess(producer_.get(), 1);
      error = L"the stream ended but the producer still runs (no message for 2.5 s?); stopped it";
      return false;
    }
    const DWORD exitCode = ExitCode();
    VxPrint(stdout, L"Producer exit code: %lu\n", exitCode);
    if (exitCode == 0)
      return true;
    error = L"the producer failed or vanished before the end of its stream (exit code " +
            std::to_wstring(exitCode) + L")";
    if (streaming_ && outcome.formats > 0 && outcome.bytes == 0)
      error +=
          L"; it sent a format and then no audio: a producer in request/reply mode waits for "
          L"replies that a streaming host does not send (start both with --streaming or neither)";
    return false;
  }

 private:
  DWORD ExitCode() const {
    DWORD code = 0;
    return ::GetExitCodeProcess(producer_.get(), &code) ? code : 0;
  }

  bool StartProducer(std::wstring& error) {
    job_.reset(::CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!job_ || !::SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits,
                                            sizeof limits)) {
      error =
          L"cannot create a job object for the producer: " + VxSystemErrorText(::GetLastError());
      return false;
    }
    std::wstring cmd =
        L"\"" + VxHostFolder() + L"vxproducer.exe\" --pipe \"" + pipeName_ + L"\" " + producerArgs_;
    if (streaming_)
      cmd += L" --streaming";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    VxFileHandle nowhere;
    if (quietProducer_) {
      nowhere.reset(::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                                  nullptr));
      si.dwFlags = STARTF_USESTDHANDLES;
      si.hStdInput = si.hStdOutput = si.hStdError = nowhere.get();
    }
    PROCESS_INFORMATION pi = {};
    std::vector<wchar_t> line(cmd.begin(), cmd.end());
    line.push_back(0);
    // Suspended until it is in the job, so that not even its first steps run
    // outside it.
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, quietProducer_, CREATE_SUSPENDED,
                          nullptr, nullptr, &si, &pi)) {
      error = L"cannot start producer: " + cmd + L": " + VxSystemErrorText(::GetLastError());
      return false;
    }
    VxHandle thread(pi.hThread);
    producer_.reset(pi.hProcess);
    if (!::AssignProcessToJobObject(job_.get(), producer_.get())) {
      error = L"cannot put the producer in its job object: " + VxSystemErrorText(::GetLastError());
      ::TerminateProcess(producer_.get(), 1);
      return false;
    }
    ::ResumeThread(thread.get());
    if (!quietProducer_) {
      VxPrint(stdout, L"Started producer: %ls\n", cmd.c_str());
      std::fflush(stdout);
    }
    return true;
  }

  std::wstring producerArgs_ = L"--sine --rate 48000 --channels 2 --bits 24 --duration 5";
  std::wstring pipeName_;
  bool streaming_ = false;
  bool waitForProducer_ = false;
  bool quietProducer_ = false;
  VxFileHandle pipe_;
  VxHandle job_;  // closing it ends the producer, however this process ends
  VxHandle producer_;
};

}  // namespace

std::unique_ptr<VxRecordSource> CreateIpcRecordSource() {
  return std::make_unique<IpcRecordSource>();
}
