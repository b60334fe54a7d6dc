#include "ui/VxWnd.h"

VxWnd::~VxWnd() {
  HWND window = window_.get();
  if (!window)
    return;
  // Detach first: the messages of the destruction must not reach WindowProc of
  // an object whose derived parts are already gone.
  ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  if (nativeProc_)
    ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(nativeProc_));
  window_.reset();
}

void VxWnd::Close() {
  window_.reset();
}

VxString VxWnd::GetText() const {
  if (!window_)
    return VxString();
  const int length = ::GetWindowTextLengthW(window_.get());
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int got = ::GetWindowTextW(window_.get(), text.data(), length + 1);
  return VxString(text.c_str(), static_cast<size_t>(got > 0 ? got : 0));
}

void VxWnd::SetText(const VxString& text) {
  if (window_)
    ::SetWindowTextW(window_.get(), text.Wide());
}

void VxWnd::Enable(bool enable) {
  if (window_)
    ::EnableWindow(window_.get(), enable);
}

bool VxWnd::IsEnabled() const {
  return window_ && ::IsWindowEnabled(window_.get());
}

void VxWnd::SetBounds(int x, int y, int width, int height) {
  if (window_)
    ::SetWindowPos(window_.get(), nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

RECT VxWnd::GetBounds() const {
  RECT r{};
  if (!window_)
    return r;
  ::GetWindowRect(window_.get(), &r);
  if (HWND parent = ::GetParent(window_.get());
      parent && (::GetWindowLongW(window_.get(), GWL_STYLE) & WS_CHILD))
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

SIZE VxWnd::MeasureText(HFONT font, const VxString& text, int wrapWidth) {
  SIZE size{0, 0};
  HDC dc = ::GetDC(nullptr);
  if (!dc)
    return size;
  HGDIOBJ old = font ? ::SelectObject(dc, font) : nullptr;
  TEXTMETRICW metrics{};
  ::GetTextMetricsW(dc, &metrics);
  if (text.empty()) {
    size.cy = metrics.tmHeight;
  } else {
    RECT r{0, 0, wrapWidth > 0 ? wrapWidth : 0, 0};
    const UINT format = DT_CALCRECT | DT_NOPREFIX | (wrapWidth > 0 ? DT_WORDBREAK : DT_SINGLELINE);
    ::DrawTextW(dc, text.Wide(), static_cast<int>(text.size()), &r, format);
    size.cx = r.right - r.left;
    size.cy = r.bottom - r.top;
  }
  if (old)
    ::SelectObject(dc, old);
  ::ReleaseDC(nullptr, dc);
  return size;
}

bool VxWnd::CreateOwnClass(DWORD exStyle,
                           const wchar_t* className,
                           const VxString& text,
                           DWORD style,
                           HWND parent) {
  HWND window = ::CreateWindowExW(exStyle, className, text.Wide(), style, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 0, 0, parent, nullptr, CodeModule(), this);
  return window != nullptr;
}

bool VxWnd::CreateNative(DWORD exStyle,
                         const wchar_t* className,
                         const VxString& text,
                         DWORD style,
                         HWND parent,
                         int id) {
  HWND window =
      ::CreateWindowExW(exStyle, className, text.Wide(), style, 0, 0, 0, 0, parent,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), CodeModule(), nullptr);
  if (!window)
    return false;
  Attach(window);
  nativeProc_ = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&StaticWindowProc)));
  return true;
}

HINSTANCE VxWnd::CodeModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&VxWnd::CodeModule), &module);
  return module;
}

void VxWnd::Attach(HWND window) {
  window_.reset(window);
  ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

LRESULT VxWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE && !nativeProc_) {
    Close();
    return 0;
  }
  return DefaultProc(message, wParam, lParam);
}

LRESULT VxWnd::DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (nativeProc_)
    return ::CallWindowProcW(nativeProc_, window_.get(), message, wParam, lParam);
  return ::DefWindowProcW(window_.get(), message, wParam, lParam);
}

LRESULT CALLBACK VxWnd::StaticWindowProc(HWND window,
                                         UINT message,
                                         WPARAM wParam,
                                         LPARAM lParam) noexcept {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    if (auto* self = static_cast<VxWnd*>(create->lpCreateParams))
      self->Attach(window);
  }
  auto* self = reinterpret_cast<VxWnd*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self || self->window_.get() != window)
    return ::DefWindowProcW(window, message, wParam, lParam);
  if (message != WM_NCDESTROY)
    return self->WindowProc(message, wParam, lParam);
  // The window is gone after this message: hand it on, then forget the handle
  // without destroying it a second time.
  const LRESULT result = self->DefaultProc(message, wParam, lParam);
  ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  if (self->nativeProc_)
    ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(self->nativeProc_));
  self->nativeProc_ = nullptr;
  (void)self->window_.release();
  return result;
}
