// VxWnd: the base of every window object of the module's window toolkit.
//
// A VxWnd owns at most one native window and handles its messages: windows of
// the toolkit's own classes are created with VxWnd's window procedure, native
// controls (buttons, edit and combo boxes) are subclassed after creation, and
// both reach the object through WindowProc. The object outlives its window:
// when the window is destroyed (by the user, by a parent or by DestroyWindow)
// the object forgets the handle; when the object is destroyed first it
// detaches itself and destroys the window without calling back into a
// half-destroyed object.
//
// VxTypedWndPtr<T> is the toolkit's window pointer: a shared reference to a
// window object of type T, empty until the window is made. Containers keep
// their children through these, and derived windows keep typed pointers to
// the controls they read.
//
// Threads: a window object is used only on the thread that created its window.
// Windows only.
#pragma once

#include <windows.h>

#include <memory>

#include "foundation/VxHandle.h"
#include "foundation/VxString.h"

template <typename T>
class VxTypedWndPtr {
 public:
  VxTypedWndPtr() = default;
  explicit VxTypedWndPtr(std::shared_ptr<T> window) : window_(std::move(window)) {}
  template <typename U>
  VxTypedWndPtr(const VxTypedWndPtr<U>& other) : window_(other.Shared()) {}

  T* Get() const { return window_.get(); }
  T* operator->() const { return window_.get(); }
  T& operator*() const { return *window_; }
  explicit operator bool() const { return static_cast<bool>(window_); }
  void Reset() { window_.reset(); }
  const std::shared_ptr<T>& Shared() const { return window_; }

 private:
  std::shared_ptr<T> window_;
};

class VxWnd {
 public:
  VxWnd() = default;
  virtual ~VxWnd();
  VxWnd(const VxWnd&) = delete;
  VxWnd& operator=(const VxWnd&) = delete;

  // The close request of the window (WM_CLOSE); destroys the window.
  virtual void Close();

  HWND Handle() const { return window_.get(); }
  bool Exists() const { return window_ && ::IsWindow(window_.get()); }

  VxString GetText() const;
  void SetText(const VxString& text);
  void Enable(bool enable);
  bool IsEnabled() const;
  // Bounds in the parent's client coordinates (the screen for top-level windows).
  virtual void SetBounds(int x, int y, int width, int height);
  RECT GetBounds() const;

  // Width and height of `text` drawn with `font`; with `wrapWidth` > 0 the
  // text wraps at word breaks within that width.
  static SIZE MeasureText(HFONT font, const VxString& text, int wrapWidth = 0);
  // The module this code is linked into: the instance its window classes
  // are registered for.
  static HINSTANCE CodeModule();

 protected:
  // Creates a window of a class registered with StaticWindowProc.
  [[nodiscard]] bool CreateOwnClass(DWORD exStyle,
                                    const wchar_t* className,
                                    const VxString& text,
                                    DWORD style,
                                    HWND parent);
  // Creates a native control of a system class and subclasses it.
  [[nodiscard]] bool CreateNative(DWORD exStyle,
                                  const wchar_t* className,
                                  const VxString& text,
                                  DWORD style,
                                  HWND parent,
                                  int id);

  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT DefaultProc(UINT message, WPARAM wParam, LPARAM lParam);

  static LRESULT CALLBACK StaticWindowProc(HWND window,
                                           UINT message,
                                           WPARAM wParam,
                                           LPARAM lParam) noexcept;

 private:
  void Attach(HWND window);

  VxWindow window_;
  WNDPROC nativeProc_ = nullptr;  // the system class's procedure of a subclassed control
};

using VxWndPtr = VxTypedWndPtr<VxWnd>;
