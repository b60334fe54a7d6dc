#include "ui/VxFixedSizeOkCancelPopupWnd.h"

#include <algorithm>

#include "ui/VxDisplayScale.h"

SIZE VxFixedSizeOkCancelPopupWnd::BuildContentArea(int margin) {
  const int width = VxScalePixels(GetFixedWidth());
  // Rows are not limited in height: the popup grows to hold them.
  VxControlsWndFixedSizeLayout layout(margin, margin, margin + width, margin + 65536,
                                      VxScalePixels(8));
  CreateControls(layout);
  const int height = layout.Top() - layout.Gap() - margin;
  return SIZE{width, std::max(height, 0)};
}
