#include "ui/VxButton.h"

#include <algorithm>

#include "ui/VxDisplayScale.h"

SIZE VxButton::GetPreferredSize(int) const {
  const SIZE text = MeasureText(Font(), GetText());
  return SIZE{std::max<LONG>(text.cx + VxScalePixels(24), VxScalePixels(75)),
              std::max<LONG>(text.cy + VxScalePixels(10), VxScalePixels(23))};
}

void VxButton::OnCommand(int code) {
  if (code == BN_CLICKED && onClick_) {
    // The handler may end the window and with it the last reference the
    // caller holds; keep the handler alive while it runs.
    auto onClick = onClick_;
    onClick();
  }
}
