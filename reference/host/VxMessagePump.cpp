#include "reference/host/VxMessagePump.h"

DWORD VxPumpingWait(DWORD count, const HANDLE* handles, DWORD timeoutMs) {
  const ULONGLONG start = ::GetTickCount64();
  for (;;) {
    DWORD left = INFINITE;
    if (timeoutMs != INFINITE) {
      const ULONGLONG elapsed = ::GetTickCount64() - start;
      left = elapsed >= timeoutMs ? 0 : static_cast<DWORD>(timeoutMs - elapsed);
    }
    const DWORD r =
        ::MsgWaitForMultipleObjectsEx(count, handles, left, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (r != WAIT_OBJECT_0 + count)
      return r;
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    if (left == 0)
      return WAIT_TIMEOUT;
  }
}
