// The reference image library's IVxImageApp: an empty service that counts
// Initialize and Uninitialize calls (the window toolkit only needs the library
// to load and to answer). One process-wide object; any thread.
#pragma once

#include <atomic>

#include "live_Main/host/IVxTools.h"

class VxImageApp final : public IVxImageApp {
 public:
  static VxImageApp& Instance();

  bool Initialize(bool startupFlag) override;
  void Uninitialize(bool startupFlag) override;

  // Initialize calls minus Uninitialize calls.
  int InitializeCount() const { return count_; }

 private:
  VxImageApp() = default;
  std::atomic<int> count_{0};
};
