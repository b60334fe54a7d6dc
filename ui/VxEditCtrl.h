// VxEditCtrl: a native single-line edit box. With the numeric option it
// accepts only digits typed by the user (text set by the program, or pasted,
// is not filtered). Its preferred width holds a given number of characters.
// Windows only.
#pragma once

#include "ui/VxControl.h"

class VxEditCtrl : public VxControl {
 public:
  explicit VxEditCtrl(const VxString& text = VxString(), bool numeric = false, int widthChars = 0)
      : VxControl(text), numeric_(numeric), widthChars_(widthChars) {
    SetFitsWidth(widthChars > 0);
  }

  bool IsNumeric() const { return numeric_; }
  SIZE GetPreferredSize(int wrapWidth) const override;

 protected:
  const wchar_t* NativeClass() const override { return L"EDIT"; }
  DWORD NativeStyle() const override {
    return WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL | (numeric_ ? ES_NUMBER : 0);
  }
  DWORD NativeExStyle() const override { return WS_EX_CLIENTEDGE; }

 private:
  bool numeric_;
  int widthChars_;
};
