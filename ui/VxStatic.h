// VxStatic: a native static text. A label stays on one line; a wrapping
// static breaks its text at word boundaries within the width it is given; a
// separator has no text and draws a thin etched horizontal line.
// Windows only.
#pragma once

#include "ui/VxControl.h"

class VxStatic : public VxControl {
 public:
  enum class Kind { kLabel, kWrapping, kSeparator };

  explicit VxStatic(const VxString& text = VxString(), Kind kind = Kind::kLabel)
      : VxControl(text), kind_(kind) {}

  SIZE GetPreferredSize(int wrapWidth) const override;

 protected:
  const wchar_t* NativeClass() const override { return L"STATIC"; }
  DWORD NativeStyle() const override;

 private:
  Kind kind_;
};
