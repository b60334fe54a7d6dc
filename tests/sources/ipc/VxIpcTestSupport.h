// Test helpers for the IPC source: real named pipes, raw message building and
// the producer program as a second process.
#pragma once

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/VxHandle.h"
#include "live_Main/boundary/IVxAudioLiveSink.h"
#include "live_Main/boundary/VxAudioFormat.h"
#include "reference/host/VxPipeServer.h"
#include "reference/producer/VxTestPattern.h"
#include "tests/sources/ipc/VxIpcExpectedReply.h"
#include "tests/support/VxTestSink.h"
#include "tests/support/VxToolsTestEnv.h"

namespace vxtest {

// header (tag, zero reserved, payload length) + payload
inline std::vector<uint8_t> Message(const char* tag, const std::vector<uint8_t>& payload = {}) {
  std::vector<uint8_t> m(16 + payload.size());
  std::memcpy(m.data(), tag, 4);
  for (int i = 0; i < 8; ++i)
    m[8 + i] = static_cast<uint8_t>(uint64_t{payload.size()} >> (8 * i));
  std::copy(payload.begin(), payload.end(), m.begin() + 16);
  return m;
}
inline std::vector<uint8_t> FormatMessage(uint32_t rate, uint32_t word, uint32_t channels) {
  std::vector<uint8_t> p(12);
  const uint32_t f[3] = {rate, word, channels};
  std::memcpy(p.data(), f, 12);
  return Message("fmt1", p);
}
inline std::vector<uint8_t> PatternBytes(uint64_t position, size_t size) {
  std::vector<uint8_t> v(size);
  VxFillPattern(v.data(), position, size);
  return v;
}

// "pipe=<hex handle value><extra>"
inline std::u16string PipeSettings(HANDLE handle, const char* extra = "") {
  char text[96];
  std::snprintf(text, sizeof text, "pipe=%llx%s",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(handle)), extra);
  return std::u16string(text, text + std::strlen(text));
}

// A message-mode pipe: the server end (overlapped, as the source needs it) and
// optionally a client end in this process (blocking, message read mode).
struct PipePair {
  std::wstring name;
  VxFileHandle server;
  VxFileHandle client;

  // Creates the server end; connects a client in this process unless told not to.
  explicit PipePair(bool connectClient = true, DWORD bufferSize = 65536)
      : name(VxUniquePipeName(L"vxipc-test")) {
    server.reset(VxCreatePipeServer(name, bufferSize));
    if (connectClient) {
      client.reset(::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
      DWORD mode = PIPE_READMODE_MESSAGE;
      if (client)
        ::SetNamedPipeHandleState(client.get(), &mode, nullptr, nullptr);
      WaitConnected(5000);
    }
  }
  // Waits for a client (this process's or another's) to connect.
  bool WaitConnected(DWORD timeoutMs) { return VxWaitForPipeClient(server.get(), timeoutMs); }
  // The settings text that hands the server end to a source; the source then
  // owns the handle.
  std::u16string HandOver(const char* extra = "") { return PipeSettings(server.release(), extra); }
  bool Write(const std::vector<uint8_t>& m) {
    DWORD n = 0;
    return ::WriteFile(client.get(), m.data(), static_cast<DWORD>(m.size()), &n, nullptr) &&
           n == m.size();
  }
  // One reply as text (terminating zero included); empty when the read fails.
  std::string ReadReply() {
    char buffer[4096];
    DWORD n = 0;
    if (!::ReadFile(client.get(), buffer, sizeof buffer, &n, nullptr))
      return {};
    return std::string(buffer, n);
  }
  // Bytes waiting for the client (replies that were sent and not read).
  DWORD PendingForClient() {
    DWORD available = 0;
    if (!::PeekNamedPipe(client.get(), nullptr, 0, nullptr, &available, nullptr))
      return 0;
    return available;
  }
};

// The producer program (vxproducer.exe beside the test) as a second process.
class ProducerProcess {
 public:
  bool Start(const std::wstring& arguments) {
    const std::wstring exe = VxToolsTestEnv::ExeFolder() + L"vxproducer.exe";
    std::wstring command = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &si, &pi))
      return false;
    process_.reset(pi.hProcess);
    VxHandle thread(pi.hThread);
    return true;
  }
  // Exit code (0: everything sent and every reply accepted), or -1 when the
  // process did not end in time.
  int Wait(DWORD timeoutMs) {
    DWORD code = 0;
    if (::WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0 ||
        !::GetExitCodeProcess(process_.get(), &code))
      return -1;
    return static_cast<int>(code);
  }
  ~ProducerProcess() {
    if (process_ && Wait(0) == -1)
      ::TerminateProcess(process_.get(), 9);
  }

 private:
  VxHandle process_;
};

}  // namespace vxtest
