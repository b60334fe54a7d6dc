// VxFixedSizeOkCancelPopupWnd: an OK/Cancel popup of fixed content width whose
// derived class stacks its controls in rows (CreateControls). The content
// height is what the rows take; the bottom row comes below it.
// Windows only.
#pragma once

#include "ui/VxControlsWndFixedSizeLayout.h"
#include "ui/VxOkCancelPopupWnd.h"

class VxFixedSizeOkCancelPopupWnd : public VxOkCancelPopupWnd {
 public:
  // Makes the controls and places them with `layout`.
  virtual void CreateControls(VxControlsWndFixedSizeLayout& layout) = 0;
  // Content width in pixels before display scaling.
  virtual int GetFixedWidth() const { return 400; }

 protected:
  SIZE BuildContentArea(int margin) override;
};
