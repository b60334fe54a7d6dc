#include "reference/tools/VxUiServices.h"

#include "reference/tools/VxFileLog.h"

VxUiServices::VxUiServices(const VxToolsOptions& options, VxFileLog& log)
    : log_(log), pump_(log), metrics_(options) {}

IVxMessagePump* VxUiServices::GetMessagePump(bool) {
  return &pump_;
}

IVxDisplayMetrics* VxUiServices::GetDisplayMetrics(bool) {
  return &metrics_;
}

void VxUiServices::Unexpected(int slot) {
  log_.Write(1, u"VxTools", VxFormat(u"Unexpected call: IVxUiServices slot %d", {slot}));
}

void VxUiServices::Unused1() {
  Unexpected(1);
}
void VxUiServices::Unused2() {
  Unexpected(2);
}
void VxUiServices::Unused3() {
  Unexpected(3);
}
