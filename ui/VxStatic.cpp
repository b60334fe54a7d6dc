#include "ui/VxStatic.h"

#include "ui/VxDisplayScale.h"

DWORD VxStatic::NativeStyle() const {
  switch (kind_) {
    case Kind::kSeparator:
      return WS_VISIBLE | SS_ETCHEDHORZ;
    case Kind::kWrapping:
      return WS_VISIBLE | SS_LEFT | SS_NOPREFIX;
    case Kind::kLabel:
    default:
      return WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX;
  }
}

SIZE VxStatic::GetPreferredSize(int wrapWidth) const {
  if (kind_ == Kind::kSeparator)
    return SIZE{wrapWidth, VxScalePixels(2)};
  return MeasureText(Font(), GetText(), kind_ == Kind::kWrapping ? wrapWidth : 0);
}
