// The IPC source for "vxhost record": the host side of the pipe, as a real host
// would do it. Creates the server end of a named pipe (overlapped, message
// mode), starts vxproducer.exe from the host folder (or waits for any
// producer), and hands the handle value to the plug-in's source in "pipe=".
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "foundation/VxHandle.h"
#include "reference/host/VxHostPlugin.h"
#include "reference/host/VxRecordSource.h"

const wchar_t kIpcRecordOptions[] =
    L"  --producer \"ARGS\"   arguments for vxproducer.exe (started from the host folder;\n"
    L"                      --pipe and --streaming are added). Default:\n"
    L"                      \"--sine --rate 48000 --channels 2 --bits 24 --duration 5\"\n"
    L"  --wait              start no producer: print the pipe name and wait for one\n"
    L"  --pipe-name NAME    pipe name (default \\\\.\\pipe\\vxhost-<pid>)\n"
    L"  --streaming         streaming mode (no replies)\n";

namespace {

constexpr DWORD kPipeBufferBytes = 1 << 20;
constexpr DWORD kConnectTimeoutMs = 30000;
constexpr DWORD kProducerExitTimeoutMs = 10000;

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
    } else if (a == L"--streaming") {
      streaming_ = true;
    } else if (a == L"--wait") {
      waitForProducer_ = true;
    } else {
      error = L"unknown option " + a;
      return false;
    }
    return true;
  }

  bool Prepare(HANDLE interrupt, std::wstring& error) override {
    if (pipeName_.empty())
      pipeName_ = L"\\\\.\\pipe\\vxhost-" + std::to_wstring(::GetCurrentProcessId());
    pipe_.reset(::CreateNamedPipeW(pipeName_.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                   PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1,
                                   kPipeBufferBytes, kPipeBufferBytes, 0, nullptr));
    if (!pipe_) {
      error = L"cannot create pipe " + pipeName_ + L" (error " + std::to_wstring(::GetLastError()) +
              L")";
      return false;
    }
    if (waitForProducer_) {
      std::wprintf(L"Waiting for a producer on %ls (Ctrl+C to give up)\n", pipeName_.c_str());
      std::fflush(stdout);
    } else if (!StartProducer(error)) {
      return false;
    }
    if (!WaitForClient(interrupt, waitForProducer_ ? INFINITE : kConnectTimeoutMs)) {
      error = L"no producer connected to " + pipeName_;
      return false;
    }
    return true;
  }

  int32_t FactoryIndex() const override { return 2; }

  std::wstring Parameters() override {
    wchar_t params[64];
    std::swprintf(params, 64, L"pipe=0x%llx%ls",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(pipe_.get())),
                  streaming_ ? L"&streaming=1" : L"");
    // The source flushes, disconnects and closes the handle from here on.
    (void)pipe_.release();
    return params;
  }

  bool Finish(const VxRecordOutcome&, std::wstring& error) override {
    if (!producer_)
      return true;
    if (::WaitForSingleObject(producer_.get(), kProducerExitTimeoutMs) != WAIT_OBJECT_0)
      ::TerminateProcess(producer_.get(), 1);
    DWORD exitCode = 0;
    ::GetExitCodeProcess(producer_.get(), &exitCode);
    std::wprintf(L"Producer exit code: %lu\n", exitCode);
    if (exitCode != 0) {
      error = L"the producer failed (exit code " + std::to_wstring(exitCode) + L")";
      return false;
    }
    return true;
  }

 private:
  bool StartProducer(std::wstring& error) {
    std::wstring cmd =
        L"\"" + VxHostFolder() + L"vxproducer.exe\" --pipe " + pipeName_ + L" " + producerArgs_;
    if (streaming_)
      cmd += L" --streaming";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::vector<wchar_t> line(cmd.begin(), cmd.end());
    line.push_back(0);
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                          &pi)) {
      error =
          L"cannot start producer: " + cmd + L" (error " + std::to_wstring(::GetLastError()) + L")";
      return false;
    }
    VxHandle thread(pi.hThread);
    producer_.reset(pi.hProcess);
    std::wprintf(L"Started producer: %ls\n", cmd.c_str());
    return true;
  }

  // Waits for the producer to connect to the server end; gives up on the
  // user's stop, when the producer exits first, or after `timeoutMs`.
  bool WaitForClient(HANDLE interrupt, DWORD timeoutMs) {
    VxHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED ov = {};
    ov.hEvent = event.get();
    if (::ConnectNamedPipe(pipe_.get(), &ov))
      return true;
    const DWORD error = ::GetLastError();
    if (error == ERROR_PIPE_CONNECTED)
      return true;
    if (error != ERROR_IO_PENDING)
      return false;
    HANDLE waits[3] = {event.get(), interrupt, producer_.get()};
    const DWORD count = producer_ ? 3 : 2;
    const DWORD r = ::WaitForMultipleObjects(count, waits, FALSE, timeoutMs);
    DWORD ignored = 0;
    if (r == WAIT_OBJECT_0)
      return ::GetOverlappedResult(pipe_.get(), &ov, &ignored, FALSE) != 0;
    ::CancelIo(pipe_.get());
    ::GetOverlappedResult(pipe_.get(), &ov, &ignored, TRUE);
    return false;
  }

  std::wstring producerArgs_ = L"--sine --rate 48000 --channels 2 --bits 24 --duration 5";
  std::wstring pipeName_;
  bool streaming_ = false;
  bool waitForProducer_ = false;
  VxFileHandle pipe_;
  VxHandle producer_;
};

}  // namespace

std::unique_ptr<VxRecordSource> CreateIpcRecordSource() {
  return std::make_unique<IpcRecordSource>();
}
