// The server end of a named pipe, as a host creates it for the IPC source:
// message type and read mode, one instance, overlapped unless asked otherwise
// (the source reads with a time limit, which needs overlapped input), and a
// connect wait that can be given up.
//
// The caller owns what VxCreatePipeServer returns (hold it in a VxFileHandle)
// until it hands it on: to the source, which then flushes, disconnects and
// closes it.
#pragma once

#include <windows.h>

#include <string>

// A name under \\.\pipe\ that no other pipe of this process has used:
// `prefix`, the process id and a counter.
std::wstring VxUniquePipeName(const wchar_t* prefix);

// Creates the server end; INVALID_HANDLE_VALUE with the last error on failure.
HANDLE VxCreatePipeServer(const std::wstring& name,
                          DWORD bufferBytes = 1 << 20,
                          bool overlapped = true);

// Waits until a client has connected to the overlapped server end `pipe`.
// Gives up, cancelling the connect, after `timeoutMs` or when one of the
// `cancelCount` (at most 8) handles in `cancel` is signalled (a stop event,
// the producer's process).
[[nodiscard]] bool VxWaitForPipeClient(HANDLE pipe,
                                       DWORD timeoutMs,
                                       const HANDLE* cancel = nullptr,
                                       DWORD cancelCount = 0);

// The connected client's process id, 0 when unknown.
DWORD VxPipeClientProcessId(HANDLE pipe);
