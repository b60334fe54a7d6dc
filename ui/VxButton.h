// VxButton: a native push button that calls its click handler (on the
// window's thread) when clicked by mouse, keyboard or BM_CLICK.
// Windows only.
#pragma once

#include <functional>

#include "ui/VxControl.h"

class VxButton : public VxControl {
 public:
  explicit VxButton(const VxString& text = VxString(), bool isDefault = false)
      : VxControl(text), isDefault_(isDefault) {}

  void SetOnClick(std::function<void()> onClick) { onClick_ = std::move(onClick); }
  // Text width with padding, at least the platform's usual button width.
  SIZE GetPreferredSize(int wrapWidth) const override;
  void OnCommand(int code) override;

 protected:
  const wchar_t* NativeClass() const override { return L"BUTTON"; }
  DWORD NativeStyle() const override {
    return WS_VISIBLE | WS_TABSTOP | (isDefault_ ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
  }

 private:
  bool isDefault_;
  std::function<void()> onClick_;
};
