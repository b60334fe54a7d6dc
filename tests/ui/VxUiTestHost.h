// A host window that owns the popup under test, on the test's thread. A call
// queued with Post runs inside whichever loop pumps the thread next: posted
// before DoModal, inside the popup's modal loop once the popup exists.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

class VxUiTestHost {
 public:
  VxUiTestHost();
  ~VxUiTestHost();
  VxUiTestHost(const VxUiTestHost&) = delete;
  VxUiTestHost& operator=(const VxUiTestHost&) = delete;

  HWND Handle() const { return window_; }
  void Post(std::function<void()> call);
  int CallsRun() const { return callsRun_; }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HWND window_ = nullptr;
  std::deque<std::function<void()>> calls_;
  int callsRun_ = 0;
};

// The popup window shown by this thread (class "Vexmoor Popup Class"), or null.
HWND VxFindPopup();
// The popup's child whose text is `text` (buttons, labels), or null.
HWND VxFindChildByText(HWND popup, const std::wstring& text);
// The popup's children of a window class ("ComboBox", "Edit", ...), in z-order.
std::vector<HWND> VxFindChildrenByClass(HWND popup, const wchar_t* className);
std::wstring VxWindowText(HWND window);
// A window's rectangle in the client coordinates of `popup`.
RECT VxRectIn(HWND popup, HWND child);

// Writes a value under `key` below the test's settings root, making the key
// first; with no name it makes only the key.
void VxStoreSetting(const std::wstring& key, const wchar_t* name, const std::wstring& text);
void VxStoreSetting(const std::wstring& key, const wchar_t* name, DWORD number);
