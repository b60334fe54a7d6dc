// VxControlsWndFixedSizeLayout: stacks controls in rows inside a fixed width.
//
// It holds the content rectangle (left edge, current top, right edge, a bottom
// that does not limit the rows) and the row gap, all in client pixels. Placing
// a control puts it at the current top and moves the top down by the
// control's height plus the gap. A control that has an attached label starts
// after the label column (as wide as the widest label given to
// SetLabelColumnFor, plus a gap) and its label stands in that column, centred
// on the row; a control without one spans the whole width. The control takes
// the remaining width, or its preferred width when it fits its width.
// Windows only.
#pragma once

#include <initializer_list>

#include "ui/VxControl.h"

class VxControlsWndFixedSizeLayout {
 public:
  VxControlsWndFixedSizeLayout(int left, int top, int right, int bottom, int gap)
      : left_(left), top_(top), right_(right), bottom_(bottom), gap_(gap) {}

  // Makes the label column as wide as the widest attached label of `controls`
  // (null entries are skipped), with `labelGap` between label and control.
  void SetLabelColumnFor(std::initializer_list<const VxControl*> controls, int labelGap);
  // Places `control` (and its label) in the next row.
  void Place(VxControl& control);

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Right() const { return right_; }
  int Bottom() const { return bottom_; }
  int Gap() const { return gap_; }
  int Width() const { return right_ - left_; }

 private:
  int left_;
  int top_;
  int right_;
  int bottom_;
  int gap_;
  int labelColumn_ = 0;
  int labelGap_ = 0;
};
