// VxOkCancelPopupWnd: a popup with a bottom row of up to five buttons (OK,
// Cancel, Apply, Help, Left) under a separator line.
//
// Buttons are created when their Show hook says so and call OnOK, OnCancel,
// OnApply, OnHelp and OnLeftButton. Their texts pass through the host's
// translation, then a custom text for the button's command number replaces
// them. With the no-Cancel flag the Cancel button is hidden, OK reads "Done"
// and closing the window confirms; otherwise closing (and Escape) cancels.
//
// Layout, in pixels before scaling: margins of 8; the button row at the
// bottom, Help at the right edge, then Cancel, OK and Apply to its left with
// gaps of 8, Left at the left edge; Help and Cancel as wide as the widest of
// the shown OK, Cancel and Help, OK and Apply at least that wide; the
// separator (2 high) a gap above the row, the content a gap above that.
// Windows only.
#pragma once

#include <map>

#include "ui/VxButton.h"
#include "ui/VxPopupWnd.h"
#include "ui/VxStatic.h"

class VxOkCancelPopupWnd : public VxPopupWnd {
 public:
  // Command numbers of the buttons: their control ids and custom-text keys.
  static constexpr int kOK = 1;
  static constexpr int kCancel = 2;
  static constexpr int kHelp = 9;
  static constexpr int kLeft = 100;
  static constexpr int kApply = 101;

  void Close() override;

  virtual bool ShowOKButton() const { return !noOK_; }
  virtual bool ShowCancelButton() const { return !noCancel_; }
  virtual bool ShowApplyButton() const { return false; }
  virtual bool ShowHelpButton() const { return false; }
  virtual bool ShowLeftButton() const { return false; }
  virtual bool ShowSeparator() const { return true; }
  virtual void OnApply() {}
  virtual void OnHelp() {}
  virtual void OnLeftButton() {}

  void SetButtonText(int command, const VxString& text) { customTexts_[command] = text; }
  void SetNoCancel(bool noCancel) { noCancel_ = noCancel; }
  void SetNoOK(bool noOK) { noOK_ = noOK; }

 protected:
  // Builds the content area at (margin, margin); answers its width and height.
  virtual SIZE BuildContentArea(int margin) {
    (void)margin;
    return SIZE{0, 0};
  }
  SIZE BuildContents() override;

  VxTypedWndPtr<VxStatic> separator_;
  VxTypedWndPtr<VxButton> okButton_;
  VxTypedWndPtr<VxButton> cancelButton_;
  VxTypedWndPtr<VxButton> applyButton_;
  VxTypedWndPtr<VxButton> helpButton_;
  VxTypedWndPtr<VxButton> leftButton_;

 private:
  VxTypedWndPtr<VxButton> MakeButton(int command,
                                     const char16_t* text,
                                     void (VxOkCancelPopupWnd::*onClick)());

  std::map<int, VxString> customTexts_;
  bool noCancel_ = false;
  bool noOK_ = false;
};
