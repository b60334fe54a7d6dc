// VxMmcssScope: registers the calling thread with the multimedia class
// scheduler for the lifetime of the object.
//
// The scheduler's library is loaded at run time through the module's library
// loader, so the module does not import it: when the library or one of its two functions is
// missing, or registration fails, the scope does nothing and IsRegistered() is false. The
// destructor reverts the registration (when there is one) and unloads the library. Create and
// destroy the scope on the thread it registers. Windows only.
#pragma once

#include <windows.h>

#include "live_Main/host/VxLoadLibrary.h"

class VxMmcssScope {
 public:
  explicit VxMmcssScope(const wchar_t* taskName) noexcept;
  ~VxMmcssScope();
  VxMmcssScope(const VxMmcssScope&) = delete;
  VxMmcssScope& operator=(const VxMmcssScope&) = delete;

  bool IsRegistered() const { return task_ != nullptr; }
  DWORD TaskIndex() const { return taskIndex_; }

 private:
  using RevertFn = BOOL(WINAPI*)(HANDLE);

  VxLoadLibrary library_;
  RevertFn revert_ = nullptr;
  HANDLE task_ = nullptr;  // not a kernel handle: released by revert_, not CloseHandle
  DWORD taskIndex_ = 0;
};
