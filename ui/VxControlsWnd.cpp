#include "ui/VxControlsWnd.h"

#include <cstdlib>

#include "ui/VxDisplayScale.h"

namespace {

int ScreenDpi() {
  HDC screen = ::GetDC(nullptr);
  const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen)
    ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

}  // namespace

void VxControlsWnd::OnCommand(int id, int code) {
  for (const auto& control : controls_) {
    if (control->Id() == id) {
      control->OnCommand(code);
      return;
    }
  }
}

bool VxControlsWnd::OnDialogKey(UINT key) {
  if (!Exists())
    return false;
  switch (key) {
    case VK_TAB: {
      const bool backwards = ::GetKeyState(VK_SHIFT) < 0;
      HWND next = ::GetNextDlgTabItem(Handle(), ::GetFocus(), backwards);
      if (next)
        ::SetFocus(next);
      return true;
    }
    case VK_RETURN: {
      HWND focus = ::GetFocus();
      if (focus && ::GetParent(focus) == Handle()) {
        wchar_t name[16] = {};
        ::GetClassNameW(focus, name, 16);
        const LONG type = ::GetWindowLongW(focus, GWL_STYLE) & BS_TYPEMASK;
        if (::lstrcmpiW(name, L"Button") == 0 &&
            (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON)) {
          ::SendMessageW(focus, BM_CLICK, 0, 0);
          return true;
        }
      }
      OnEnterKey();
      return true;
    }
    case VK_ESCAPE:
      OnEscapeKey();
      return true;
    default:
      return false;
  }
}

HFONT VxControlsWnd::Font() {
  if (!font_) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    LOGFONTW font{};
    if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
      font = metrics.lfMessageFont;
    else
      ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
    // The system font is sized for the screen's dpi; the module's windows
    // follow the host's scale instead, so take it back to 96 dpi first.
    const int unscaled = std::abs(font.lfHeight) * 96 / ScreenDpi();
    font.lfHeight = -VxScalePixels(unscaled > 0 ? unscaled : 11);
    font.lfWidth = 0;
    font_.reset(::CreateFontIndirectW(&font));
  }
  return static_cast<HFONT>(font_.get());
}

void VxControlsWnd::FocusFirstControl() {
  if (!Exists())
    return;
  if (HWND first = ::GetNextDlgTabItem(Handle(), nullptr, FALSE))
    ::SetFocus(first);
}

void VxControlsWnd::ClearControls() {
  controls_.clear();
  nextId_ = 1000;
}

LRESULT VxControlsWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (lParam) {
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
      }
      break;
    case WM_KEYDOWN:
      if (OnDialogKey(static_cast<UINT>(wParam)))
        return 0;
      break;
    default:
      break;
  }
  return VxWnd::WindowProc(message, wParam, lParam);
}
