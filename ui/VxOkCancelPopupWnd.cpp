#include "ui/VxOkCancelPopupWnd.h"

#include <algorithm>

#include "live_Main/host/VxLog.h"
#include "ui/VxDisplayScale.h"

void VxOkCancelPopupWnd::Close() {
  if (noCancel_)
    OnOK();
  else
    OnCancel();
}

VxTypedWndPtr<VxButton> VxOkCancelPopupWnd::MakeButton(int command,
                                                       const char16_t* text,
                                                       void (VxOkCancelPopupWnd::*onClick)()) {
  VxString caption = VxTranslate(VxString(text));
  if (auto custom = customTexts_.find(command); custom != customTexts_.end())
    caption = custom->second;
  auto button = AddControl<VxButton>(command, caption, command == kOK);
  if (button)
    button->SetOnClick([this, onClick] { (this->*onClick)(); });
  return button;
}

SIZE VxOkCancelPopupWnd::BuildContents() {
  const int margin = VxScalePixels(8);
  const int gap = VxScalePixels(8);
  const SIZE content = BuildContentArea(margin);

  okButton_ = ShowOKButton()
                  ? MakeButton(kOK, noCancel_ ? u"Done" : u"OK", &VxOkCancelPopupWnd::OnOK)
                  : VxTypedWndPtr<VxButton>();
  cancelButton_ = ShowCancelButton() ? MakeButton(kCancel, u"Cancel", &VxOkCancelPopupWnd::OnCancel)
                                     : VxTypedWndPtr<VxButton>();
  applyButton_ = ShowApplyButton() ? MakeButton(kApply, u"Apply", &VxOkCancelPopupWnd::OnApply)
                                   : VxTypedWndPtr<VxButton>();
  helpButton_ = ShowHelpButton() ? MakeButton(kHelp, u"Help", &VxOkCancelPopupWnd::OnHelp)
                                 : VxTypedWndPtr<VxButton>();
  leftButton_ = ShowLeftButton() ? MakeButton(kLeft, u"Left", &VxOkCancelPopupWnd::OnLeftButton)
                                 : VxTypedWndPtr<VxButton>();
  separator_ = ShowSeparator()
                   ? AddControl<VxStatic>(NextControlId(), VxString(), VxStatic::Kind::kSeparator)
                   : VxTypedWndPtr<VxStatic>();

  int commonWidth = 0;
  int rowHeight = 0;
  for (const auto* button : {&okButton_, &cancelButton_, &helpButton_}) {
    if (*button) {
      const SIZE size = (*button)->GetPreferredSize(0);
      commonWidth = std::max<int>(commonWidth, size.cx);
      rowHeight = std::max<int>(rowHeight, size.cy);
    }
  }
  auto widthOf = [&](const VxTypedWndPtr<VxButton>& button, bool atLeastCommon) {
    const int own = button->GetPreferredSize(0).cx;
    return atLeastCommon ? std::max(own, commonWidth) : commonWidth;
  };

  // The row must hold every shown button, even where the content is narrower.
  int rowWidth = 0;
  for (const auto* button : {&helpButton_, &cancelButton_, &okButton_, &applyButton_}) {
    if (*button)
      rowWidth += widthOf(*button, button == &okButton_ || button == &applyButton_) + gap;
  }
  if (leftButton_)
    rowWidth += leftButton_->GetPreferredSize(0).cx + gap;
  const int width = std::max<int>(content.cx, rowWidth > 0 ? rowWidth - gap : 0) + 2 * margin;
  const int separatorHeight = separator_ ? VxScalePixels(2) + gap : 0;
  const int height = margin + content.cy + gap + separatorHeight + rowHeight + margin;

  const int rowTop = height - margin - rowHeight;
  int right = width - margin;
  for (const auto* button : {&helpButton_, &cancelButton_, &okButton_, &applyButton_}) {
    if (!*button)
      continue;
    const int w = widthOf(*button, button == &okButton_ || button == &applyButton_);
    (*button)->SetBounds(right - w, rowTop, w, rowHeight);
    right -= w + gap;
  }
  if (leftButton_)
    leftButton_->SetBounds(margin, rowTop, leftButton_->GetPreferredSize(0).cx, rowHeight);
  if (separator_)
    separator_->SetBounds(margin, rowTop - gap - VxScalePixels(2), width - 2 * margin,
                          VxScalePixels(2));
  return SIZE{width, height};
}
