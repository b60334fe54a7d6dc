// The validator's check of a settings dialog: Configure(0) over a host window
// must show a window on the calling thread, which the validator closes as a
// user's Cancel; the call must then return 0 and leave the stored settings as
// they were. A dialog that never appears, or a Configure that never returns,
// fails the check.
#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "foundation/VxHandle.h"
#include "reference/host/VxPluginValidator.h"

namespace {

// How long the dialog may take to appear, and the call to return after Cancel.
constexpr DWORD kDialogLimitMs = 5000;
constexpr DWORD kPollMs = 20;
constexpr size_t kInfoChars = 1024;

// Every value below the settings root, as "path\name=type:bytes" lines.
void Snapshot(HKEY parent, const std::wstring& path, std::wstring& out) {
  VxRegKey key;
  if (::RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
    return;
  wchar_t name[256];
  BYTE data[4096];
  for (DWORD i = 0;; ++i) {
    DWORD nameLength = 256, type = 0, bytes = sizeof data;
    if (::RegEnumValueW(key.get(), i, name, &nameLength, nullptr, &type, data, &bytes) !=
        ERROR_SUCCESS)
      break;
    out += path + L"\\" + name + L"=" + std::to_wstring(type) + L":";
    for (DWORD b = 0; b < bytes; ++b)
      out += std::to_wstring(data[b]) + L",";
    out += L"\n";
  }
  for (DWORD i = 0;; ++i) {
    DWORD nameLength = 256;
    if (::RegEnumKeyExW(key.get(), i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    Snapshot(parent, path + L"\\" + name, out);
  }
}

struct Watch {
  DWORD thread = 0;
  HWND host = nullptr;
  std::atomic<HWND> dialog{nullptr};
  std::atomic<ULONGLONG> cancelledAt{0};
  wchar_t title[128] = {};
  VxHandle stop{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

BOOL CALLBACK FindDialog(HWND window, LPARAM context) {
  auto* watch = reinterpret_cast<Watch*>(context);
  if (window != watch->host && ::IsWindowVisible(window)) {
    watch->dialog = window;
    return FALSE;
  }
  return TRUE;
}

// Looks for a visible window of the call thread besides the host's, then
// presses its Cancel button (or closes it when it has none) as a user would.
void WatchForDialog(const std::shared_ptr<Watch>& watch) {
  const ULONGLONG deadline = ::GetTickCount64() + kDialogLimitMs;
  while (!watch->dialog && ::GetTickCount64() < deadline) {
    ::EnumThreadWindows(watch->thread, &FindDialog, reinterpret_cast<LPARAM>(watch.get()));
    if (watch->dialog || ::WaitForSingleObject(watch->stop.get(), kPollMs) == WAIT_OBJECT_0)
      break;
  }
  const HWND dialog = watch->dialog;
  if (!dialog)
    return;
  // Drawn once before it is closed, as a user sees it.
  ::Sleep(200);
  ::GetWindowTextW(dialog, watch->title, 128);
  watch->cancelledAt = ::GetTickCount64();
  if (HWND cancel = ::GetDlgItem(dialog, IDCANCEL))
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                   reinterpret_cast<LPARAM>(cancel));
  else
    ::PostMessageW(dialog, WM_CLOSE, 0, 0);
}

}  // namespace

void VxPluginValidator::CheckDialog(const Source& s) {
  VxCheckResult r{L"dialog." + s.name};
  r.expected = L"Configure(0) shows a window within " + Number(kDialogLimitMs / 1000) +
               L" s; closed as Cancel it returns 0 within " + Number(kDialogLimitMs / 1000) +
               L" s and nothing is stored";
  VxRawSource source;
  if (!Create(s.index, source, r)) {
    Report(r);
    return;
  }
  std::wstring before, after;
  Snapshot(HKEY_CURRENT_USER, setup_.settingsRoot, before);
  auto settingsBefore = std::make_shared<std::wstring>(kInfoChars, L'\0');
  auto settingsAfter = std::make_shared<std::wstring>(kInfoChars, L'\0');
  auto host = std::make_shared<HWND>(nullptr);
  if (!Call(
          [=] {
            (void)source.GetInfo(3, settingsBefore->data());
            *host = ::CreateWindowExW(0, L"STATIC", L"vxhost validate", WS_OVERLAPPEDWINDOW, 40, 40,
                                      480, 320, nullptr, nullptr, nullptr, nullptr);
          },
          kCallLimitMs, r, L"GetInfo(3)")) {
    Report(r);
    return;
  }
  if (!*host) {
    r.verdict = VxCheckResult::Verdict::kSkip;
    r.seen = L"no host window could be made (error " + Number(::GetLastError()) +
             L"); is there a display?";
    (void)Delete(source, r);
    Report(r);
    return;
  }
  auto watch = std::make_shared<Watch>();
  watch->thread = thread_->ThreadId();
  watch->host = *host;
  std::thread watcher([watch] { WatchForDialog(watch); });
  auto result = std::make_shared<int32_t>(-2);
  const HWND parent = *host;
  const bool returned =
      Call([=] { *result = source.Configure(0, parent); }, 2 * kDialogLimitMs, r, L"Configure(0)");
  const ULONGLONG returnedAt = ::GetTickCount64();
  ::SetEvent(watch->stop.get());
  watcher.join();
  if (!returned) {
    Report(r);  // the call thread is left running with the dialog
    return;
  }
  if (!watch->dialog)
    Fail(r, L"Configure(0) = " + Number(*result) + L" without showing a window");
  else if (returnedAt - watch->cancelledAt > kDialogLimitMs)
    Fail(r, L"returned " + Number(static_cast<long long>(returnedAt - watch->cancelledAt)) +
                L" ms after Cancel");
  if (watch->dialog && *result != 0)
    Fail(r, L"Configure(0) = " + Number(*result) + L" after Cancel");
  (void)Call(
      [=] {
        (void)source.GetInfo(3, settingsAfter->data());
        ::DestroyWindow(parent);
      },
      kCallLimitMs, r, L"GetInfo(3)");
  Snapshot(HKEY_CURRENT_USER, setup_.settingsRoot, after);
  if (before != after || *settingsBefore != *settingsAfter)
    Fail(r, L"the settings changed although the dialog was cancelled");
  (void)Delete(source, r);
  if (r.verdict == VxCheckResult::Verdict::kPass) {
    r.seen = L"\"" + std::wstring(watch->title) + L"\" appeared, cancelled, Configure(0) = 0, " +
             L"settings unchanged";
  }
  Report(r);
}
