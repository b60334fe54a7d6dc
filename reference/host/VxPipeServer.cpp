#include "reference/host/VxPipeServer.h"

#include "foundation/VxHandle.h"

std::wstring VxUniquePipeName(const wchar_t* prefix) {
  static LONG counter = 0;
  return L"\\\\.\\pipe\\" + std::wstring(prefix) + L"-" + std::to_wstring(::GetCurrentProcessId()) +
         L"-" + std::to_wstring(::InterlockedIncrement(&counter));
}

HANDLE VxCreatePipeServer(const std::wstring& name, DWORD bufferBytes, bool overlapped) {
  return ::CreateNamedPipeW(name.c_str(),
                            PIPE_ACCESS_DUPLEX | (overlapped ? FILE_FLAG_OVERLAPPED : 0),
                            PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, bufferBytes,
                            bufferBytes, 0, nullptr);
}

bool VxWaitForPipeClient(HANDLE pipe, DWORD timeoutMs, const HANDLE* cancel, DWORD cancelCount) {
  VxHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!event || cancelCount > 8)
    return false;
  OVERLAPPED ov = {};
  ov.hEvent = event.get();
  if (::ConnectNamedPipe(pipe, &ov))
    return true;
  const DWORD error = ::GetLastError();
  if (error == ERROR_PIPE_CONNECTED)
    return true;
  if (error != ERROR_IO_PENDING)
    return false;
  HANDLE waits[9] = {event.get()};
  for (DWORD i = 0; i < cancelCount; ++i)
    waits[i + 1] = cancel[i];
  const DWORD r = ::WaitForMultipleObjects(cancelCount + 1, waits, FALSE, timeoutMs);
  DWORD ignored = 0;
  if (r == WAIT_OBJECT_0)
    return ::GetOverlappedResult(pipe, &ov, &ignored, FALSE) != 0;
  // The record and the event must stay alive until the connect is finished.
  ::CancelIo(pipe);
  (void)::GetOverlappedResult(pipe, &ov, &ignored, TRUE);
  ::SetLastError(r == WAIT_TIMEOUT ? ERROR_TIMEOUT : ERROR_OPERATION_ABORTED);
  return false;
}

DWORD VxPipeClientProcessId(HANDLE pipe) {
  ULONG id = 0;
  return ::GetNamedPipeClientProcessId(pipe, &id) ? id : 0;
}
