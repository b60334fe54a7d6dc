#include "reference/tools/VxMainThreadMessenger.h"

#include <cwchar>
#include <string>

#include "reference/tools/VxFileLog.h"

namespace {

constexpr wchar_t kWindowClassPrefix[] = L"VxToolsMainThreadMessenger";
constexpr UINT kWakeMessage = WM_APP + 1;
constexpr char16_t kSource[] = u"VxTools::MainThreadMessenger";

// Window classes outlive the library that registered them, so the class name
// carries the library's load address: a copy loaded again elsewhere never
// reuses a class whose window procedure points into the unloaded copy.
std::wstring WindowClassName(HINSTANCE instance) {
  wchar_t name[64];
  swprintf(name, 64, L"%ls %p", kWindowClassPrefix, static_cast<void*>(instance));
  return name;
}

}  // namespace

VxMainThreadMessenger::VxMainThreadMessenger(VxFileLog& log) : log_(log) {}

VxMainThreadMessenger::~VxMainThreadMessenger() {
  Shutdown();
}

bool VxMainThreadMessenger::IsStarted() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return window_ != nullptr;
}

bool VxMainThreadMessenger::Start(HINSTANCE instance) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (window_)
      return true;
  }
  const std::wstring className = WindowClassName(instance);
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.lpszClassName = className.c_str();
  if (!::RegisterClassExW(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    log_.Write(1, kSource, VxFormat(u"RegisterClassEx failed, error: %d", {::GetLastError()}));
    return false;
  }
  HWND window = ::CreateWindowExW(0, className.c_str(), L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  instance, nullptr);
  if (!window) {
    log_.Write(1, kSource, VxFormat(u"CreateWindowEx failed, error: %d", {::GetLastError()}));
    return false;
  }
  ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  std::lock_guard<std::mutex> lock(mutex_);
  window_ = window;
  instance_ = instance;
  mainThread_ = ::GetCurrentThreadId();
  return true;
}

void VxMainThreadMessenger::Shutdown() {
  HWND window;
  DWORD owner;
  HINSTANCE instance;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.clear();
    window = std::exchange(window_, nullptr);
    owner = std::exchange(mainThread_, 0);
    instance = instance_;
  }
  if (!window)
    return;
  ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  if (owner == ::GetCurrentThreadId()) {
    ::DestroyWindow(window);
    ::UnregisterClassW(WindowClassName(instance).c_str(), instance);
  } else {
    // Only the owning thread may destroy the window. It is handed the system's
    // window procedure first, because this library may be unloaded before
    // that thread handles the close.
    ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&::DefWindowProcW));
    ::PostMessageW(window, WM_CLOSE, 0, 0);
  }
}

bool VxMainThreadMessenger::Post(IMainThreadMessageManagerCallback* thread,
                                 int32_t id,
                                 int64_t value) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!window_) {
    ::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return false;
  }
  if (!thread) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  queue_.push_back({thread, id, value});
  if (!::PostMessageW(window_, kWakeMessage, 0, 0)) {
    queue_.pop_back();
    return false;
  }
  return true;
}

void VxMainThreadMessenger::Drop(IMainThreadMessageManagerCallback* thread) {
  std::unique_lock<std::mutex> lock(mutex_);
  std::erase_if(queue_, [thread](const Entry& e) { return e.thread == thread; });
  if (::GetCurrentThreadId() != mainThread_)
    delivered_.wait(lock, [&] { return delivering_ != thread; });
}

void VxMainThreadMessenger::DropMessages(IMainThreadMessageManagerCallback* thread) {
  Drop(thread);
}

void VxMainThreadMessenger::ForgetThread(IMainThreadMessageManagerCallback* thread) {
  Drop(thread);
}

void VxMainThreadMessenger::Unused0() {
  log_.Write(1, kSource, u"Unexpected call: IVxMainThreadMessageManager slot 0");
}

void VxMainThreadMessenger::DeliverOne() {
  Entry entry;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (queue_.empty())
      return;  // the entry this wake-up was for was dropped
    entry = queue_.front();
    queue_.pop_front();
    delivering_ = entry.thread;
  }
  entry.thread->OnMainThreadMessage(entry.id, entry.value);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    delivering_ = nullptr;
  }
  delivered_.notify_all();
}

LRESULT CALLBACK VxMainThreadMessenger::WindowProc(HWND window,
                                                   UINT message,
                                                   WPARAM wParam,
                                                   LPARAM lParam) {
  auto* self = reinterpret_cast<VxMainThreadMessenger*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == kWakeMessage) {
    if (self)
      self->DeliverOne();
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}
