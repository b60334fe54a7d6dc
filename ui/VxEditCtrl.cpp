#include "ui/VxEditCtrl.h"

#include "ui/VxDisplayScale.h"

SIZE VxEditCtrl::GetPreferredSize(int wrapWidth) const {
  SIZE size{wrapWidth, TextHeight() + VxScalePixels(8)};
  if (widthChars_ > 0) {
    // Digits are the widest characters these boxes hold; the border and the
    // control's inner margins come on top.
    const SIZE digits =
        MeasureText(Font(), VxString(std::u16string(static_cast<size_t>(widthChars_), u'0')));
    size.cx = digits.cx + VxScalePixels(12);
  }
  return size;
}
