// The pipe side of the IPC source: a timed, interruptible read of one message,
// the reply write and the shutdown of the server end.
//
// The pipe must be the server end of a named pipe, valid in this process,
// opened for overlapped input and output and in message read mode, so that one
// read returns one message exactly as the producer wrote it.
// INVALID_HANDLE_VALUE means "no pipe".
//
// Failures are reported as false plus the platform's last error; nothing is
// logged and nothing is retried. Windows only.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

inline constexpr DWORD kVxPipeReadTimeoutMs = 2500;

// Reads at most `bytesToRead` bytes (one message) into `buffer`, waiting at
// most 2,500 ms and abandoning the read as soon as `stopEvent` (optional) is
// signalled. Returns:
// - false without any platform call for INVALID_HANDLE_VALUE;
// - true without reading (and without touching *bytesRead) when bytesToRead
//   is 0 or less;
// - false with the platform's error when ReadFile fails outright (broken pipe,
//   ERROR_MORE_DATA for a message larger than the buffer, invalid handle) or
//   completes at once with 0 bytes;
// - false after a time-out or a stop: the read is cancelled and has completed
//   before the function returns, so `buffer` is never written afterwards;
// - true with *bytesRead (optional) set; but false with the last error
//   ERROR_OPERATION_ABORTED when the stop event is signalled at that moment
//   (*bytesRead is filled all the same).
// Each call creates and closes its own manual-reset event.
[[nodiscard]] bool VxReadFileWithTimeout(HANDLE handle,
                                         void* buffer,
                                         int32_t bytesToRead,
                                         uint32_t* bytesRead,
                                         HANDLE stopEvent);

// Cancels the read described by `overlapped` and waits until it has completed.
// True at once for a null or invalid handle; false when CancelIo fails; else
// whether the completion wait succeeded.
[[nodiscard]] bool VxCancelPendingRead(HANDLE handle, OVERLAPPED* overlapped);

// One plain (waiting, not overlapped) WriteFile of the whole reply. True only
// when the call succeeded and wrote every byte.
[[nodiscard]] bool VxWritePipeReply(HANDLE handle, const void* bytes, size_t size);

// Flushes, disconnects and closes the server end, in that order, results
// ignored. Used once the reading thread has ended.
void VxShutdownPipe(HANDLE handle);
