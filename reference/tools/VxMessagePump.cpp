#include "reference/tools/VxMessagePump.h"

#include "reference/tools/VxFileLog.h"

bool VxMessagePump::PumpNext() {
  MSG msg;
  const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
  if (got == 0) {
    ::PostQuitMessage(static_cast<int>(msg.wParam));
    return false;
  }
  if (got < 0)
    return false;
  Dispatch(&msg);
  return true;
}

void VxMessagePump::Dispatch(const MSG* msg) {
  if (!msg)
    return;
  ::TranslateMessage(msg);
  ::DispatchMessageW(msg);
}

void VxMessagePump::Unused0() {
  log_.Write(1, u"VxTools", u"Unexpected call: IVxMessagePump slot 0");
}

void VxMessagePump::Unused2() {
  log_.Write(1, u"VxTools", u"Unexpected call: IVxMessagePump slot 2");
}
