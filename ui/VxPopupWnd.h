// VxPopupWnd: a top-level popup window with a title, an optional stored
// placement and a modal loop that returns a result code.
//
// Life: constructed without a window; DoModal creates the window (CreatePopup:
// window class "Vexmoor Popup Class", handed to the host, contents built,
// placed and shown), disables the owner, runs the host's message pump until
// the window is gone, and returns the result code: 1 after OnOK, 2 after
// OnCancel, -1 when the window could not be created. OnOK and OnCancel enable
// the owner again, store the placement when the popup has a placement name,
// and destroy the window. The object may also live and die without a window.
//
// Sizes are pixels before display scaling, converted with VxScalePixels.
// Threads: everything runs on the thread that calls DoModal, which must own
// the owner window.
// Windows only.
#pragma once

#include <cstdint>

#include "ui/VxControlsWnd.h"

inline constexpr wchar_t kVxPopupClassName[] = L"Vexmoor Popup Class";

class VxPopupWnd : public VxControlsWnd {
 public:
  VxPopupWnd() = default;

  // Shows the popup modally over `owner` (may be null).
  int32_t DoModal(HWND owner);

  // Hooks, in the order derived popups rely on.
  // Creates the window with its contents, places and shows it.
  [[nodiscard]] virtual bool CreatePopup(HWND owner);
  // Sizes and positions the window; `wanted` is the outer size, 0 by 0 for
  // the window's own preference. Shows the window with GetShowCommand.
  virtual void PlaceWindow(SIZE wanted);
  virtual bool IsResizable() const { return false; }
  virtual bool HasSystemMenu() const { return true; }
  virtual VxString GetTitle() const { return VxString(); }
  // Value name of the stored placement; empty stores none.
  virtual VxString GetPlacementName() const { return VxString(); }
  virtual VxString GetPlacementKeyPath() const { return VxString(u"Properties"); }
  virtual int GetShowCommand() const { return SW_SHOW; }
  virtual void OnOK();
  virtual void OnCancel();
  virtual DWORD GetExStyle() const { return 0; }

  int32_t ResultCode() const { return resultCode_; }
  bool InModalLoop() const { return inModalLoop_; }

 protected:
  // Builds the controls of a new window; answers the client size it needs.
  virtual SIZE BuildContents() { return SIZE{0, 0}; }
  // Sets the result code, enables the owner, stores the placement and
  // destroys the window, which ends the modal loop.
  void EndModal(int32_t resultCode);

  void OnEnterKey() override { OnOK(); }
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  [[nodiscard]] static bool RegisterPopupClass();
  [[nodiscard]] bool ApplyStoredPlacement(SIZE wanted);
  void CentreAndShowOnDisplay(SIZE wanted);
  void StorePlacement();
  void EnableOwner();

  HWND owner_ = nullptr;
  int32_t resultCode_ = -1;
  bool inModalLoop_ = false;
  bool ownerDisabled_ = false;
};
