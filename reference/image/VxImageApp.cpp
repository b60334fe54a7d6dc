#include "reference/image/VxImageApp.h"

VxImageApp& VxImageApp::Instance() {
  static VxImageApp app;
  return app;
}

bool VxImageApp::Initialize(bool) {
  ++count_;
  return true;
}

void VxImageApp::Uninitialize(bool) {
  // A surplus call leaves the count at 0.
  int current = count_.load();
  while (current > 0 && !count_.compare_exchange_weak(current, current - 1)) {
  }
}

extern "C" {

IVxImageApp* GetVxImageAppDLL() noexcept {
  return &VxImageApp::Instance();
}

int VxImageInitializeCount() noexcept {
  return VxImageApp::Instance().InitializeCount();
}

}  // extern "C"
