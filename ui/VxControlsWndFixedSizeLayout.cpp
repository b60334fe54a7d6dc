#include "ui/VxControlsWndFixedSizeLayout.h"

#include <algorithm>

#include "ui/VxStatic.h"

void VxControlsWndFixedSizeLayout::SetLabelColumnFor(
    std::initializer_list<const VxControl*> controls,
    int labelGap) {
  labelColumn_ = 0;
  for (const VxControl* control : controls) {
    if (control && control->Label() && !control->Label()->GetText().empty())
      labelColumn_ = std::max<int>(labelColumn_, control->Label()->GetPreferredSize(0).cx);
  }
  labelGap_ = labelGap;
}

void VxControlsWndFixedSizeLayout::Place(VxControl& control) {
  const auto& label = control.Label();
  const bool labelled = label && !label->GetText().empty() && labelColumn_ > 0;
  const int x = labelled ? left_ + labelColumn_ + labelGap_ : left_;
  const int available = right_ - x;
  const SIZE preferred = control.GetPreferredSize(available);
  const int width = control.FitsWidth() ? std::min<int>(preferred.cx, available) : available;
  const int height = preferred.cy;
  control.SetBounds(x, top_, width, height);
  if (labelled) {
    const int labelHeight = label->GetPreferredSize(0).cy;
    label->SetBounds(left_, top_ + (height - labelHeight) / 2, labelColumn_, labelHeight);
  }
  top_ += height + gap_;
}
