// VxControlsWnd: a window that holds native controls.
//
// It makes its controls (AddControl), keeps them alive as long as itself,
// gives them one font sized by the display scale, routes their WM_COMMAND
// notifications to them (the toolkit's command-target events), and answers
// the dialog keys they hand over: Tab and Shift+Tab move the focus through the
// controls with WS_TABSTOP in creation order, Enter clicks the focused push
// button or else confirms (OnEnterKey), Escape cancels (OnEscapeKey).
//
// Control objects stay alive after the window is destroyed, so a derived
// window can still read them while it ends; ClearControls drops them before
// the window is built again.
// Windows only.
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "ui/VxControl.h"

// Command-target events: notifications from controls to their window.
class IVxCommandTarget {
 public:
  virtual void OnCommand(int id, int code) = 0;

 protected:
  ~IVxCommandTarget() = default;
};

class VxControlsWnd : public VxWnd, public IVxCommandTarget {
 public:
  // Makes a control of type T (constructed from `args`) as a child of this
  // window with command id `id`; empty when the window does not exist or the
  // control could not be created.
  template <typename T, typename... Args>
  VxTypedWndPtr<T> AddControl(int id, Args&&... args) {
    auto control = std::make_shared<T>(std::forward<Args>(args)...);
    if (!Exists() || !control->Create(*this, id))
      return VxTypedWndPtr<T>();
    controls_.push_back(control);
    return VxTypedWndPtr<T>(std::move(control));
  }
  // A command id not used by the fixed button ids (1 to 999).
  int NextControlId() { return nextId_++; }

  void OnCommand(int id, int code) override;
  // A dialog key (VK_TAB, VK_RETURN, VK_ESCAPE) pressed in a control or in
  // this window; true when it was handled.
  bool OnDialogKey(UINT key);

  // The controls' font; made on first use from the system's message font at
  // the display scale.
  HFONT Font();
  // Moves the focus to the first control that takes it.
  void FocusFirstControl();

 protected:
  virtual void OnEnterKey() {}
  virtual void OnEscapeKey() { Close(); }
  void ClearControls();

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  std::vector<std::shared_ptr<VxControl>> controls_;
  VxGdiObject font_;
  int nextId_ = 1000;
};
