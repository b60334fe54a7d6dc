#include "ui/VxControl.h"

#include "ui/VxControlsWnd.h"
#include "ui/VxDisplayScale.h"

bool VxControl::Create(VxControlsWnd& parent, int id) {
  container_ = &parent;
  id_ = id;
  if (!CreateNative(NativeExStyle(), NativeClass(), initialText_, NativeStyle() | WS_CHILD,
                    parent.Handle(), id))
    return false;
  ::SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(Font()), FALSE);
  OnCreated();
  return true;
}

SIZE VxControl::GetPreferredSize(int) const {
  SIZE text = MeasureText(Font(), Exists() ? GetText() : initialText_);
  text.cy = TextHeight() + VxScalePixels(8);
  text.cx += VxScalePixels(8);
  return text;
}

void VxControl::OnCommand(int) {}

HFONT VxControl::Font() const {
  return container_ ? container_->Font() : nullptr;
}

int VxControl::TextHeight() const {
  return MeasureText(Font(), VxString()).cy;
}

LRESULT VxControl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  const bool dialogKey = wParam == VK_TAB || wParam == VK_RETURN || wParam == VK_ESCAPE;
  if (container_ && dialogKey && !WantsDialogKeys()) {
    if (message == WM_KEYDOWN && container_->OnDialogKey(static_cast<UINT>(wParam)))
      return 0;
    // The character messages of these keys would beep or type into the control.
    if (message == WM_CHAR)
      return 0;
  }
  return VxWnd::WindowProc(message, wParam, lParam);
}
