// Display metrics of the reference tools library.
//
// The scale factor is VXTOOLS_SCALE when that option holds a positive number
// (for example 1.5), otherwise the screen's logical dots per inch over 96.
// ScalePixels rounds value * factor to the nearest integer (halves away from zero).
#pragma once

#include "live_Main/host/IVxTools.h"

class VxToolsOptions;

class VxDisplayMetrics final : public IVxDisplayMetrics {
 public:
  explicit VxDisplayMetrics(const VxToolsOptions& options) : options_(options) {}

  double GetScaleFactor() override;
  int32_t ScalePixels(int32_t value, int32_t flags) override;
  int32_t GetDpi() override;

  // The number an option text holds, or 0 when it holds none.
  static double ParseScale(const VxString& text);

 private:
  int32_t ScreenDpi();
  const VxToolsOptions& options_;
};
