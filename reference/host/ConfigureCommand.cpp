// vxhost configure: shows the ASIO source's settings dialog over a host
// window through the source's Configure, as the real host does when the user
// asks to set up the ASIO input, then prints what is stored and the source's
// settings string (GetInfo 3).
#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

#include "live_Main/host/IVxTools.h"
#include "reference/host/VxConsoleText.h"
#include "reference/host/VxHostCommands.h"
#include "reference/host/VxHostPlugin.h"

namespace {

constexpr wchar_t kHostClass[] = L"VxHost Window";
constexpr UINT_PTR kCancelTimer = 1;
constexpr int kInfoBufferChars = 1024;

BOOL CALLBACK ClosePopup(HWND window, LPARAM) {
  wchar_t name[64] = {};
  ::GetClassNameW(window, name, 64);
  if (std::wcscmp(name, L"Vexmoor Popup Class") == 0)
    ::PostMessageW(window, WM_CLOSE, 0, 0);
  return TRUE;
}

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER && wParam == kCancelTimer) {
    ::KillTimer(window, kCancelTimer);
    ::EnumThreadWindows(::GetCurrentThreadId(), &ClosePopup, 0);
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateHostWindow() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = &HostWindowProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_APPWORKSPACE + 1));
  wc.lpszClassName = kHostClass;
  ::RegisterClassW(&wc);
  return ::CreateWindowExW(0, kHostClass, L"vxhost", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 720,
                           520, nullptr, nullptr, wc.hInstance, nullptr);
}

constexpr char16_t kAsioGroupPath[] = u"Zones\\0\\Live ASIO";

// The tools library the plug-in loaded (the same module in this process).
IVxTools* HostTools() {
  HMODULE library = ::GetModuleHandleW(L"VxTools.dll");
  auto entry = library ? reinterpret_cast<VxGetToolsProc>(
                             reinterpret_cast<void*>(::GetProcAddress(library, "GetVxToolsDLL")))
                       : nullptr;
  return entry ? entry(kVxToolsInterfaceVersion) : nullptr;
}

// The values of the "Live ASIO" group of zone 0, as the host's settings hold them.
void PrintStoredSettings() {
  IVxTools* tools = HostTools();
  IVxSettingsKey* key = tools ? tools->OpenSettingsKey(kAsioGroupPath, 0, 0) : nullptr;
  if (!key) {
    VxPrint(stdout, L"stored: nothing (no key Zones\\0\\Live ASIO)\n");
    return;
  }
  BSTR id = nullptr;
  key->ReadString(&id, u"Device ID", u"", 0, u"", 0);
  VxPrint(stdout,
          L"stored: Device ID \"%ls\", Sample Rate %d, Channels %d, Channel Shift %d"
          L" (-1: not stored)\n",
          id ? id : L"", key->ReadInt(u"Sample Rate", -1, 0, 0),
          key->ReadInt(u"Channels", -1, 0, 0), key->ReadInt(u"Channel Shift", -1, 0, 0));
  ::SysFreeString(id);
  key->DeletingDestructor(1);
}

void PrintUsage(FILE* out) {
  VxPrint(out,
          L"usage: vxhost configure [--cancel-after <ms>]\n"
          L"  Shows the ASIO settings dialog over a host window (the ASIO source's\n"
          L"  Configure), then prints the stored settings and GetInfo(3).\n"
          L"  --cancel-after <ms>  closes the dialog (as Cancel) after <ms> milliseconds\n");
}

int RunConfigureCommand(int argc, wchar_t** argv) {
  UINT cancelAfterMs = 0;
  for (int i = 0; i < argc; ++i) {
    if (std::wcscmp(argv[i], L"--help") == 0 || std::wcscmp(argv[i], L"-h") == 0) {
      PrintUsage(stdout);
      return 0;
    }
    if (std::wcscmp(argv[i], L"--cancel-after") == 0 && i + 1 < argc) {
      cancelAfterMs = static_cast<UINT>(std::wcstoul(argv[++i], nullptr, 10));
      continue;
    }
    PrintUsage(stderr);
    return 2;
  }
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  VxHostPlugin host;
  if (!host.LoadPlugin()) {
    VxPrint(stderr, L"configure: %ls\n", host.Error().c_str());
    return 1;
  }
  IVxAudioLive* source = nullptr;
  if (host.GetLivePlugin()(0, &source) != 0 || !source) {
    VxPrint(stderr, L"configure: VxLive.dll gave no ASIO source (index 0)\n");
    return 1;
  }
  HWND window = CreateHostWindow();
  if (!window) {
    VxPrint(stderr,
            L"configure: cannot create the host window (error %lu); is there a "
            L"display?\n",
            ::GetLastError());
    VxDeleteSource(source);
    return 1;
  }
  if (cancelAfterMs > 0)
    ::SetTimer(window, kCancelTimer, cancelAfterMs, nullptr);
  const int32_t result = source->Configure(0, window);
  VxPrint(stdout, L"Configure(0): %d\n", result);
  PrintStoredSettings();
  wchar_t text[kInfoBufferChars];
  std::memset(text, 0, sizeof text);
  const int32_t info = source->GetInfo(3, text);
  VxPrint(stdout, L"GetInfo(3): %d \"%ls\"\n", info, text);
  VxDeleteSource(source);
  ::DestroyWindow(window);
  if (SUCCEEDED(com))
    ::CoUninitialize();
  return result == 0 ? 0 : 1;
}

const VxHostCommandRegistration kRegistration{
    {L"configure", L"[--cancel-after <ms>]",
     L"shows the ASIO settings dialog, then prints the stored settings and GetInfo(3)",
     RunConfigureCommand}};

}  // namespace
