#include "reference/tools/VxDisplayMetrics.h"

#include <cmath>
#include <cstdlib>

#include "reference/tools/VxToolsOptions.h"

double VxDisplayMetrics::ParseScale(const VxString& text) {
  const std::string narrow = text.ToUtf8();
  char* end = nullptr;
  const double value = std::strtod(narrow.c_str(), &end);
  if (end == narrow.c_str() || !std::isfinite(value) || value <= 0)
    return 0;
  return value;
}

int32_t VxDisplayMetrics::ScreenDpi() {
  HDC screen = ::GetDC(nullptr);
  if (!screen)
    return 96;
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
  ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

double VxDisplayMetrics::GetScaleFactor() {
  const double configured = ParseScale(options_.Get(kVxOptScale));
  return configured > 0 ? configured : ScreenDpi() / 96.0;
}

int32_t VxDisplayMetrics::GetDpi() {
  const double configured = ParseScale(options_.Get(kVxOptScale));
  return configured > 0 ? static_cast<int32_t>(std::lround(configured * 96)) : ScreenDpi();
}

int32_t VxDisplayMetrics::ScalePixels(int32_t value, int32_t) {
  return static_cast<int32_t>(std::lround(value * GetScaleFactor()));
}
