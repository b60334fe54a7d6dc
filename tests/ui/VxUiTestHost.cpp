#include "tests/ui/VxUiTestHost.h"

#include <vector>

#include "foundation/VxHandle.h"
#include "tests/support/VxToolsTestEnv.h"

namespace {

constexpr wchar_t kHostClass[] = L"VxUiTestHost";
constexpr UINT kRunCall = WM_APP + 17;

BOOL CALLBACK AddChild(HWND child, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
  return TRUE;
}

std::vector<HWND> Children(HWND popup) {
  std::vector<HWND> all;
  ::EnumChildWindows(popup, &AddChild, reinterpret_cast<LPARAM>(&all));
  return all;
}

BOOL CALLBACK FindThreadPopup(HWND window, LPARAM param) {
  wchar_t name[64] = {};
  ::GetClassNameW(window, name, 64);
  if (::lstrcmpW(name, L"Vexmoor Popup Class") == 0 && ::IsWindowVisible(window)) {
    *reinterpret_cast<HWND*>(param) = window;
    return FALSE;
  }
  return TRUE;
}

void Store(const std::wstring& key,
           const wchar_t* name,
           DWORD type,
           const void* data,
           size_t size) {
  VxRegKey k;
  ::RegCreateKeyExW(HKEY_CURRENT_USER,
                    (VxToolsTestEnv::Instance().SettingsRegistryPath() + L"\\" + key).c_str(), 0,
                    nullptr, 0, KEY_WRITE, nullptr, k.put(), nullptr);
  if (name)
    ::RegSetValueExW(k.get(), name, 0, type, static_cast<const BYTE*>(data),
                     static_cast<DWORD>(size));
}

}  // namespace

void VxStoreSetting(const std::wstring& key, const wchar_t* name, const std::wstring& text) {
  Store(key, name, REG_SZ, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

void VxStoreSetting(const std::wstring& key, const wchar_t* name, DWORD number) {
  Store(key, name, REG_DWORD, &number, sizeof number);
}

VxUiTestHost::VxUiTestHost() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = &Proc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = kHostClass;
  ::RegisterClassW(&wc);
  window_ = ::CreateWindowExW(0, kHostClass, L"Test host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100,
                              100, 600, 400, nullptr, nullptr, wc.hInstance, nullptr);
  ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

VxUiTestHost::~VxUiTestHost() {
  if (window_)
    ::DestroyWindow(window_);
}

void VxUiTestHost::Post(std::function<void()> call) {
  calls_.push_back(std::move(call));
  ::PostMessageW(window_, kRunCall, 0, 0);
}

LRESULT CALLBACK VxUiTestHost::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<VxUiTestHost*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == kRunCall && self && !self->calls_.empty()) {
    auto call = std::move(self->calls_.front());
    self->calls_.pop_front();
    ++self->callsRun_;
    call();
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

HWND VxFindPopup() {
  HWND popup = nullptr;
  ::EnumThreadWindows(::GetCurrentThreadId(), &FindThreadPopup, reinterpret_cast<LPARAM>(&popup));
  return popup;
}

HWND VxFindChildByText(HWND popup, const std::wstring& text) {
  for (HWND child : Children(popup)) {
    if (VxWindowText(child) == text)
      return child;
  }
  return nullptr;
}

std::vector<HWND> VxFindChildrenByClass(HWND popup, const wchar_t* className) {
  std::vector<HWND> found;
  for (HWND child : Children(popup)) {
    wchar_t name[64] = {};
    ::GetClassNameW(child, name, 64);
    if (::lstrcmpiW(name, className) == 0)
      found.push_back(child);
  }
  return found;
}

std::wstring VxWindowText(HWND window) {
  wchar_t text[512] = {};
  ::GetWindowTextW(window, text, 512);
  return text;
}

RECT VxRectIn(HWND popup, HWND child) {
  RECT r{};
  ::GetWindowRect(child, &r);
  ::MapWindowPoints(nullptr, popup, reinterpret_cast<POINT*>(&r), 2);
  return r;
}
