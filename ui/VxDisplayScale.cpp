#include "ui/VxDisplayScale.h"

#include <windows.h>

#include <cmath>

#include "live_Main/host/VxHostLibraries.h"

namespace {

IVxDisplayMetrics* HostMetrics() {
  IVxTools* tools = VxGetTools();
  if (!tools)
    return nullptr;
  IVxUiServices* ui = tools->GetUiServices(true);
  return ui ? ui->GetDisplayMetrics(true) : nullptr;
}

double ScreenFactor() {
  HDC screen = ::GetDC(nullptr);
  if (!screen)
    return 1.0;
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
  ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi / 96.0 : 1.0;
}

}  // namespace

double VxDisplayScaleFactor() {
  if (IVxDisplayMetrics* metrics = HostMetrics())
    return metrics->GetScaleFactor();
  return ScreenFactor();
}

int32_t VxScalePixels(int32_t value) {
  if (IVxDisplayMetrics* metrics = HostMetrics())
    return metrics->ScalePixels(value, 0);
  return static_cast<int32_t>(std::lround(value * ScreenFactor()));
}
