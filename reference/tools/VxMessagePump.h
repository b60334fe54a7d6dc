// The message pump of the reference tools library: the plain platform loop,
// one message at a time, on the calling thread.
//
// PumpNext waits for the next message of the calling thread (GetMessageW),
// translates and dispatches it, and returns true. It returns false when the
// thread's quit message arrives (or GetMessageW fails); the quit message is
// posted again so that every enclosing loop ends as well.
#pragma once

#include "live_Main/host/IVxTools.h"

class VxFileLog;

class VxMessagePump final : public IVxMessagePump {
 public:
  explicit VxMessagePump(VxFileLog& log) : log_(log) {}

  void Unused0() override;
  bool PumpNext() override;
  void Unused2() override;
  void Dispatch(const MSG* msg) override;

 private:
  VxFileLog& log_;
};
