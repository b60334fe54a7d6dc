#include "tests/ui/VxUiTestHost.h"

#include <vector>

namespace {

constexpr wchar_t kHostClass[] = L"VxUiTestHost";
constexpr UINT kRunCall = WM_APP + 17;

struct Search {
  std::wstring text;
  const wchar_t* className = nullptr;
  std::vector<HWND> found;
};

BOOL CALLBACK Collect(HWND child, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  if (search->className) {
    wchar_t name[64] = {};
    ::GetClassNameW(child, name, 64);
    if (::lstrcmpiW(name, search->className) == 0)
      search->found.push_back(child);
  } else if (VxWindowText(child) == search->text) {
    search->found.push_back(child);
  }
  return TRUE;
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

}  // namespace

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
  Search search;
  search.text = text;
  ::EnumChildWindows(popup, &Collect, reinterpret_cast<LPARAM>(&search));
  return search.found.empty() ? nullptr : search.found.front();
}

std::vector<HWND> VxFindChildrenByClass(HWND popup, const wchar_t* className) {
  Search search;
  search.className = className;
  ::EnumChildWindows(popup, &Collect, reinterpret_cast<LPARAM>(&search));
  return search.found;
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
