// A thread that runs a host's calls into a plug-in one at a time, each with a
// time limit, so that a call that never returns is reported instead of
// hanging the host.
//
// Every call runs on this one thread (COM initialised as a single-threaded
// apartment), as the real host makes all its calls on one thread; between
// calls the thread dispatches its window messages, as a host's UI thread does. Run() waits
// at most `limitMs` for the call; a call that is still running then leaves
// the thread stuck for good: Run() answers false for it and for every later
// call, and the object's destructor abandons the thread instead of joining it
// (the process must then end without waiting for its threads, for example
// with TerminateProcess). A call therefore shares its data with the caller
// through objects it owns (shared pointers), never through the caller's
// locals, since it may finish after the caller has moved on.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>

#include "foundation/VxHandle.h"

class VxCallThread {
 public:
  VxCallThread();
  ~VxCallThread();
  VxCallThread(const VxCallThread&) = delete;
  VxCallThread& operator=(const VxCallThread&) = delete;

  // Runs `call` on the thread. True when it returned within `limitMs`;
  // `elapsedMs` is how long the caller waited.
  [[nodiscard]] bool Run(std::function<void()> call, DWORD limitMs, double& elapsedMs);
  bool Stuck() const { return stuck_; }
  // The thread's ID, for finding the windows a call made on it.
  DWORD ThreadId() const { return thread_ ? ::GetThreadId(thread_.get()) : 0; }

 private:
  struct Shared;
  static unsigned __stdcall Main(void* shared);

  std::shared_ptr<Shared> shared_;
  VxHandle thread_;
  bool stuck_ = false;
};
