// The main-thread message manager of the reference tools library.
//
// Post(thread, id, value) queues the value and wakes a message-only window that
// belongs to the host's main thread (the thread that called Start, which the
// tools library does on the first IVxTools::Initialize). Each wake message
// delivers one queued entry there as thread->OnMainThreadMessage(id, value),
// so delivery needs the main thread to pump messages (GetMessage/Dispatch, or
// the library's message pump).
//
// DropMessages and ForgetThread remove every queued entry for that callback.
// When called from another thread while that callback is being delivered, they
// wait for the delivery to return, so that an object can be destroyed safely
// right after dropping its messages.
//
// Post may be called from any thread; it fails (false, ERROR_INVALID_WINDOW_HANDLE)
// while there is no main-thread window.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

#include "live_Main/host/IVxTools.h"

class VxFileLog;

class VxMainThreadMessenger final : public IVxMainThreadMessageManager {
 public:
  explicit VxMainThreadMessenger(VxFileLog& log);
  ~VxMainThreadMessenger();
  VxMainThreadMessenger(const VxMainThreadMessenger&) = delete;
  VxMainThreadMessenger& operator=(const VxMainThreadMessenger&) = delete;

  // Creates the window on the calling thread, which becomes the main thread.
  // Does nothing when a window exists.
  bool Start(HINSTANCE instance);
  // Drops every queued entry and destroys the window (on the main thread;
  // from another thread the window is asked to close itself).
  void Shutdown();
  DWORD MainThreadId() const { return mainThread_; }
  bool IsStarted() const;

  void Unused0() override;
  void ForgetThread(IMainThreadMessageManagerCallback* thread) override;
  bool Post(IMainThreadMessageManagerCallback* thread, int32_t id, int64_t value) override;
  void DropMessages(IMainThreadMessageManagerCallback* thread) override;

 private:
  struct Entry {
    IMainThreadMessageManagerCallback* thread;
    int32_t id;
    int64_t value;
  };

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void DeliverOne();
  void Drop(IMainThreadMessageManagerCallback* thread);

  VxFileLog& log_;
  mutable std::mutex mutex_;
  std::condition_variable delivered_;
  std::deque<Entry> queue_;
  IMainThreadMessageManagerCallback* delivering_ = nullptr;
  HWND window_ = nullptr;
  HINSTANCE instance_ = nullptr;
  DWORD mainThread_ = 0;
};
