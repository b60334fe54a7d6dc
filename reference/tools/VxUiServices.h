// User-interface services of the reference tools library: the message pump
// and the display metrics. Both exist for the library's lifetime.
#pragma once

#include "live_Main/host/IVxTools.h"
#include "reference/tools/VxDisplayMetrics.h"
#include "reference/tools/VxMessagePump.h"

class VxUiServices final : public IVxUiServices {
 public:
  VxUiServices(const VxToolsOptions& options, VxFileLog& log);

  IVxMessagePump* GetMessagePump(bool create) override;
  void Unused1() override;
  void Unused2() override;
  void Unused3() override;
  IVxDisplayMetrics* GetDisplayMetrics(bool create) override;

 private:
  void Unexpected(int slot);

  VxFileLog& log_;
  VxMessagePump pump_;
  VxDisplayMetrics metrics_;
};
