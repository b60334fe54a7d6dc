// VxControl: base of the toolkit's native controls (static text, buttons,
// edit and combo boxes) placed in a VxControlsWnd.
//
// A control is made by its container (VxControlsWnd::AddControl), which gives
// it a command id, the container's font, and the Tab, Enter and Escape keys:
// the host's message pump only translates and dispatches, so the control hands
// these keys to its container, which moves the focus or confirms or cancels as
// a dialog does.
//
// An attached label is a static text that layouts put in the label column to
// the left of the control; it belongs to the same container.
// Windows only.
#pragma once

#include "ui/VxWnd.h"

class VxControlsWnd;
class VxStatic;

class VxControl : public VxWnd {
 public:
  explicit VxControl(const VxString& text = VxString()) : initialText_(text) {}

  // Creates the native control as a child of `parent`; false when it failed.
  [[nodiscard]] bool Create(VxControlsWnd& parent, int id);

  int Id() const { return id_; }
  // The size the control asks for; a text that wraps uses `wrapWidth`.
  virtual SIZE GetPreferredSize(int wrapWidth) const;
  // Layouts give a control that fits its width its preferred width instead
  // of the full row.
  bool FitsWidth() const { return fitWidth_; }
  void SetFitsWidth(bool fit) { fitWidth_ = fit; }

  void AttachLabel(const VxTypedWndPtr<VxStatic>& label) { label_ = label; }
  const VxTypedWndPtr<VxStatic>& Label() const { return label_; }

  // A notification code of WM_COMMAND for this control.
  virtual void OnCommand(int code);

 protected:
  virtual const wchar_t* NativeClass() const = 0;
  virtual DWORD NativeStyle() const = 0;
  virtual DWORD NativeExStyle() const { return 0; }
  // Called once the native window exists and has its font.
  virtual void OnCreated() {}
  // True while the control needs Enter and Escape itself (an open drop-down).
  virtual bool WantsDialogKeys() const { return false; }

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  HFONT Font() const;
  VxControlsWnd* Container() const { return container_; }
  // The height of a line of text in the container's font.
  int TextHeight() const;

 private:
  VxString initialText_;
  VxControlsWnd* container_ = nullptr;
  int id_ = 0;
  bool fitWidth_ = false;
  VxTypedWndPtr<VxStatic> label_;
};
