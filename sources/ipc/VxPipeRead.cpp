#include "sources/ipc/VxPipeRead.h"

#include "foundation/VxHandle.h"

bool VxCancelPendingRead(HANDLE handle, OVERLAPPED* overlapped) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
    return true;
  if (!::CancelIo(handle))
    return false;
  // Waiting for the cancelled read to complete keeps the caller's buffer and
  // record out of the kernel's hands once we return.
  DWORD ignored = 0;
  return ::GetOverlappedResult(handle, overlapped, &ignored, TRUE) != FALSE;
}

bool VxReadFileWithTimeout(HANDLE handle,
                           void* buffer,
                           int32_t bytesToRead,
                           uint32_t* bytesRead,
                           HANDLE stopEvent) {
  if (handle == INVALID_HANDLE_VALUE)
    return false;
  if (bytesToRead <= 0)
    return true;

  VxHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!event)
    return false;
  OVERLAPPED overlapped = {};
  overlapped.hEvent = event.get();

  DWORD count = 0;
  bool ok = false;
  if (::ReadFile(handle, buffer, static_cast<DWORD>(bytesToRead), &count, &overlapped)) {
    ok = count != 0;
  } else if (::GetLastError() == ERROR_IO_PENDING) {
    const HANDLE waitFor[2] = {event.get(), stopEvent};
    const DWORD waited =
        ::WaitForMultipleObjects(stopEvent ? 2 : 1, waitFor, FALSE, kVxPipeReadTimeoutMs);
    if (waited == WAIT_OBJECT_0) {
      ok = ::GetOverlappedResult(handle, &overlapped, &count, FALSE) != FALSE;
    } else if (waited == WAIT_TIMEOUT || (stopEvent && waited == WAIT_OBJECT_0 + 1)) {
      // The cancelled read's completion leaves the platform's error behind
      // (ERROR_OPERATION_ABORTED), which the caller gets as it stands.
      (void)VxCancelPendingRead(handle, &overlapped);
    } else {
      // A failed wait: make sure the read is no longer pending before the
      // record and the event go away.
      const DWORD error = ::GetLastError();
      (void)VxCancelPendingRead(handle, &overlapped);
      ::SetLastError(error);
    }
  }

  if (ok) {
    if (bytesRead)
      *bytesRead = count;
    if (stopEvent && ::WaitForSingleObject(stopEvent, 0) == WAIT_OBJECT_0) {
      ::SetLastError(ERROR_OPERATION_ABORTED);
      ok = false;
    }
  }
  return ok;
}

bool VxWritePipeReply(HANDLE handle, const void* bytes, size_t size) {
  DWORD written = 0;
  if (size > MAXDWORD)
    return false;
  const BOOL ok = ::WriteFile(handle, bytes, static_cast<DWORD>(size), &written, nullptr);
  return ok && written == size;
}

void VxShutdownPipe(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
    return;
  ::FlushFileBuffers(handle);
  ::DisconnectNamedPipe(handle);
  VxFileHandle closer(handle);
}
