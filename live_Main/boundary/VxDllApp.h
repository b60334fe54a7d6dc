// VxDllApp: the application object of a library module. It is driven only by
// the loader's notifications (ProcessAttachDetach), never run as a program.
#pragma once

#include "live_Main/boundary/VxApp.h"

class VxDllApp : public VxApp {
 public:
  VxDllApp() = default;
  ~VxDllApp() override = default;
};
