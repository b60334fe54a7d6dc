// A wait that dispatches the thread's window messages meanwhile, as a host's
// UI thread does. ASIO drivers and COM objects made on a thread post to it
// and wait for the answer; a thread that calls into a plug-in and then blocks
// without dispatching stalls them.
#pragma once

#include <windows.h>

// As WaitForMultipleObjects(count, handles, FALSE, timeoutMs): answers
// WAIT_OBJECT_0 + i for the first signalled handle, WAIT_TIMEOUT when
// `timeoutMs` passed (measured on the tick count, whatever the messages
// took), or WAIT_FAILED.
DWORD VxPumpingWait(DWORD count, const HANDLE* handles, DWORD timeoutMs);
