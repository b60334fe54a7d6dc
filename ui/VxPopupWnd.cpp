#include "ui/VxPopupWnd.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "foundation/runtime/VxSettingsKey.h"
#include "live_Main/boundary/VxApp.h"
#include "live_Main/host/VxHostLibraries.h"
#include "ui/VxDisplayScale.h"

namespace {

// The stored placement is the platform's record as it is laid out on 64-bit
// Windows; it is kept in the settings byte for byte.
static_assert(sizeof(WINDOWPLACEMENT) == 44);
constexpr UINT kPlacementUnscaled = 0x100;  // flags bit: points stored before scaling

constexpr SIZE kFallbackSize{320, 180};

IVxMessagePump* HostPump() {
  IVxTools* tools = VxGetTools();
  IVxUiServices* ui = tools ? tools->GetUiServices(true) : nullptr;
  return ui ? ui->GetMessagePump(true) : nullptr;
}

// Without the host: the platform's own loop, with the same contract.
bool PumpNextPlain() {
  MSG msg;
  const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
  if (got == 0)
    ::PostQuitMessage(static_cast<int>(msg.wParam));
  if (got <= 0)
    return false;
  ::TranslateMessage(&msg);
  ::DispatchMessageW(&msg);
  return true;
}

// The display scale rounded to a whole factor, or 0 when placements are kept
// as they are (a factor of 1.0 or less).
int PlacementFactor() {
  const double factor = VxDisplayScaleFactor();
  return factor > 1.0 ? static_cast<int>(std::lround(factor)) : 0;
}

template <typename Op>
void ForEachCoordinate(WINDOWPLACEMENT& p, Op op) {
  for (LONG* v : {&p.ptMinPosition.x, &p.ptMinPosition.y, &p.ptMaxPosition.x, &p.ptMaxPosition.y,
                  &p.rcNormalPosition.left, &p.rcNormalPosition.top, &p.rcNormalPosition.right,
                  &p.rcNormalPosition.bottom})
    *v = op(*v);
}

}  // namespace

int32_t VxPopupWnd::DoModal(HWND owner) {
  if (!Exists() && !CreatePopup(owner))
    return -1;
  if (!Exists())
    return -1;
  const bool wasInModalLoop = inModalLoop_;
  inModalLoop_ = true;
  resultCode_ = -1;
  ownerDisabled_ = false;
  owner_ = owner;
  if (owner && owner != ::GetDesktopWindow() && ::IsWindowEnabled(owner)) {
    ::EnableWindow(owner, FALSE);
    ownerDisabled_ = true;
  }

  IVxMessagePump* pump = HostPump();
  while (pump ? pump->PumpNext() : PumpNextPlain()) {
    if (!Exists())
      break;
  }
  // Messages the window's end left behind (posted to the owner and others)
  // are handed on before returning to the caller.
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (pump) {
      pump->Dispatch(&msg);
    } else {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
  EnableOwner();
  inModalLoop_ = wasInModalLoop;
  return resultCode_;
}

bool VxPopupWnd::RegisterPopupClass() {
  HINSTANCE module = CodeModule();
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (::GetClassInfoExW(module, kVxPopupClassName, &existing))
    return true;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = &VxWnd::StaticWindowProc;
  wc.hInstance = module;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  wc.lpszClassName = kVxPopupClassName;
  const ATOM atom = ::RegisterClassExW(&wc);
  if (!atom)
    return false;
  if (VxApp* app = VxApp::Current(); app && app->ModuleInstance() == module)
    app->AddWindowClass(VxString(kVxPopupClassName), atom);
  return true;
}

bool VxPopupWnd::CreatePopup(HWND owner) {
  if (!RegisterPopupClass())
    return false;
  DWORD style = WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN;
  if (IsResizable())
    style |= WS_THICKFRAME | WS_MAXIMIZEBOX;
  if (HasSystemMenu())
    style |= WS_SYSMENU;
  const DWORD exStyle = GetExStyle();
  owner_ = owner;
  if (!CreateOwnClass(exStyle, kVxPopupClassName, GetTitle(), style, owner))
    return false;
  if (!(exStyle & WS_EX_NOACTIVATE)) {
    VxHostLibraries::Instance().LoadTools();
    if (IVxTools* tools = VxGetTools())
      tools->AdoptPopupWindow(Handle());
  }

  ClearControls();
  const SIZE client = BuildContents();
  RECT frame{0, 0, client.cx, client.cy};
  ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  PlaceWindow(SIZE{frame.right - frame.left, frame.bottom - frame.top});
  FocusFirstControl();
  return Exists();
}

void VxPopupWnd::PlaceWindow(SIZE wanted) {
  if (wanted.cx == 0 && wanted.cy == 0) {
    RECT r{};
    ::GetWindowRect(Handle(), &r);
    wanted = SIZE{r.right - r.left, r.bottom - r.top};
  }
  if (wanted.cx <= 0 || wanted.cy <= 0)
    wanted = kFallbackSize;
  if (!ApplyStoredPlacement(wanted))
    CentreAndShowOnDisplay(wanted);

  RECT actual{};
  ::GetWindowRect(Handle(), &actual);
  if (actual.right - actual.left != wanted.cx || actual.bottom - actual.top != wanted.cy) {
    std::fprintf(stderr, "Popup rect created (window rect was bad): coords x,y,x1,y1 %d,%d,%d,%d\n",
                 static_cast<int>(actual.left), static_cast<int>(actual.top),
                 static_cast<int>(actual.right), static_cast<int>(actual.bottom));
    ::SetWindowPos(Handle(), nullptr, 0, 0, wanted.cx, wanted.cy,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  ::ShowWindow(Handle(), GetShowCommand());
}

bool VxPopupWnd::ApplyStoredPlacement(SIZE wanted) {
  const VxString name = GetPlacementName();
  if (name.empty())
    return false;
  const VxSettingsKey key =
      VxSettingsKey::Open(GetPlacementKeyPath(), VxSettingsKey::kOpenExisting);
  std::vector<uint8_t> bytes;
  if (!key.ReadBinary(name.c_str(), bytes) || bytes.empty() ||
      bytes.size() > sizeof(WINDOWPLACEMENT))
    return false;
  WINDOWPLACEMENT placement{};
  std::memcpy(&placement, bytes.data(), bytes.size());
  if (const int factor = PlacementFactor(); factor > 0 && (placement.flags & kPlacementUnscaled))
    ForEachCoordinate(placement, [factor](LONG v) { return v * factor; });
  if (!IsResizable()) {
    placement.rcNormalPosition.right = placement.rcNormalPosition.left + wanted.cx;
    placement.rcNormalPosition.bottom = placement.rcNormalPosition.top + wanted.cy;
  }
  placement.length = sizeof(WINDOWPLACEMENT);
  placement.showCmd = 0;  // applying the record must not show the window yet
  ::SetWindowPlacement(Handle(), &placement);
  return true;
}

void VxPopupWnd::CentreAndShowOnDisplay(SIZE wanted) {
  RECT area{};
  if (!owner_ || !::GetWindowRect(owner_, &area) || ::IsRectEmpty(&area)) {
    MONITORINFO primary{};
    primary.cbSize = sizeof primary;
    ::GetMonitorInfoW(::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &primary);
    area = primary.rcWork;
  }
  RECT r{};
  r.left = area.left + (area.right - area.left - wanted.cx) / 2;
  r.top = area.top + (area.bottom - area.top - wanted.cy) / 2;
  r.right = r.left + wanted.cx;
  r.bottom = r.top + wanted.cy;

  // Keep the whole window on the display it is mostly on.
  MONITORINFO display{};
  display.cbSize = sizeof display;
  if (::GetMonitorInfoW(::MonitorFromRect(&r, MONITOR_DEFAULTTONEAREST), &display)) {
    const RECT& work = display.rcWork;
    if (r.right > work.right)
      ::OffsetRect(&r, work.right - r.right, 0);
    if (r.bottom > work.bottom)
      ::OffsetRect(&r, 0, work.bottom - r.bottom);
    if (r.left < work.left)
      ::OffsetRect(&r, work.left - r.left, 0);
    if (r.top < work.top)
      ::OffsetRect(&r, 0, work.top - r.top);
  }
  ::SetWindowPos(Handle(), nullptr, r.left, r.top, wanted.cx, wanted.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void VxPopupWnd::OnOK() {
  EndModal(1);
}

void VxPopupWnd::OnCancel() {
  EndModal(2);
}

void VxPopupWnd::EndModal(int32_t resultCode) {
  resultCode_ = resultCode;
  // The owner is enabled before this window goes, so that the platform
  // activates the owner rather than some other application's window.
  EnableOwner();
  StorePlacement();
  VxWnd::Close();
}

void VxPopupWnd::StorePlacement() {
  const VxString name = GetPlacementName();
  if (name.empty() || !Exists() || ::IsIconic(Handle()))
    return;
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  if (!::GetWindowPlacement(Handle(), &placement))
    return;
  if (const int factor = PlacementFactor(); factor > 0)
    ForEachCoordinate(placement, [factor](LONG v) { return v / factor; });
  placement.flags |= kPlacementUnscaled;
  const VxSettingsKey key =
      VxSettingsKey::Open(GetPlacementKeyPath(), VxSettingsKey::kOpenExisting);
  // A placement that cannot be stored is simply not restored next time.
  (void)key.WriteBinary(name.c_str(), &placement, sizeof placement);
}

void VxPopupWnd::EnableOwner() {
  if (ownerDisabled_) {
    ::EnableWindow(owner_, TRUE);
    ownerDisabled_ = false;
  }
}

LRESULT VxPopupWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  // However the window goes, an owner this popup disabled is enabled again.
  if (message == WM_DESTROY)
    EnableOwner();
  return VxControlsWnd::WindowProc(message, wParam, lParam);
}
