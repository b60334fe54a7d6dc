// The server end of a named pipe, as a host creates it for the IPC source:
// message type and read mode, one instance, overlapped unless asked otherwise
// (the source reads with a time limit, which needs overlapped input), and a
// connect wait that can be given up.
//
// Owns the handle until Release() hands it on (to the source, which then
// flushes, disconnects and closes it). Used from one thread at a time.
#pragma once

#include <windows.h>

#include <string>

#include "foundation/VxHandle.h"

class VxPipeServer {
 public:
  // A name under \\.\pipe\ that no other pipe of this process has used:
  // `prefix`, the process id and a counter.
  static std::wstring UniqueName(const wchar_t* prefix);

  // Creates the server end. False with the last error on failure.
  [[nodiscard]] bool Create(const std::wstring& name,
                            DWORD bufferBytes = 1 << 20,
                            bool overlapped = true);
  // Waits until a client has connected. Gives up, cancelling the connect,
  // after `timeoutMs` or when one of the `cancelCount` handles in `cancel` is
  // signalled (a stop event, the producer's process).
  [[nodiscard]] bool WaitForClient(DWORD timeoutMs,
                                   const HANDLE* cancel = nullptr,
                                   DWORD cancelCount = 0);
  // The connected client's process id, 0 when unknown.
  DWORD ClientProcessId() const;

  HANDLE Handle() const { return pipe_.get(); }
  const std::wstring& Name() const { return name_; }
  // Gives up ownership of the handle.
  [[nodiscard]] HANDLE Release() { return pipe_.release(); }

 private:
  std::wstring name_;
  VxFileHandle pipe_;
};
