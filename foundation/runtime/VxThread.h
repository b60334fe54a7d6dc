// VxThread: base of every object in the module that owns one OS thread.
//
// A subclass supplies Run(). Start() creates the thread suspended, sets its
// priority, resumes it; optionally COM is initialised around the body. Stop()
// asks the body to finish (stop flag plus a manual-reset stop event), waits in
// a poll loop and, past a time limit (and only if MayHardKill()), cancels the
// thread's synchronous I/O once and then terminates it. The body's boolean
// result is kept until Stop() reads it.
//
// Threads: Start, Stop, the setters and the destructor run on the owner's
// thread; Run() on the worker. Stop() must not be called from the worker. The
// handle, stop flag, start count, result and requested priority are atomic
// because both threads touch them.
//
// Thread handle ownership: the owner alone holds and closes the thread's
// handle (thread_), from StartThread until Stop has finished waiting. The
// worker only clears the published copy (handle_) as the last thing it does
// with the object, which is what IsRunning reports. So GetHandle(), the waits,
// the priority calls and termination always use a handle that is still open,
// and no path closes it twice.
//
// Layout: the virtual functions are declared in the order of the thread
// object's table; slot 0 comes from IMainThreadMessageManagerCallback, which
// the host's main-thread message manager calls. The rest of the table stays
// inside the module.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "foundation/VxHandle.h"
#include "live_Main/host/IVxTools.h"

class VxThread : public IMainThreadMessageManagerCallback {
 public:
  VxThread() = default;
  VxThread(const VxThread&) = delete;
  VxThread& operator=(const VxThread&) = delete;

  // Forwards to HandleMainThreadMessage.
  bool OnMainThreadMessage(int32_t id, int64_t value) noexcept override;
  virtual ~VxThread();  // Stop(-1), then releases the stop event

  [[nodiscard]] virtual bool Start(int32_t priority, bool restart);
  virtual bool Stop(int32_t timeoutMs);  // returns the body's result
  virtual bool SetStopRequested(bool requested);
  virtual void ForgetMainThreadMessages();
  [[nodiscard]] virtual bool SetPriority(int32_t priority);
  virtual bool IsRunning() const;
  virtual uint32_t WaitForExit();
  virtual uint32_t Wait(uint32_t timeoutMs, HANDLE extra);
  virtual uint32_t Wait(uint32_t timeoutMs, HANDLE* extra);
  virtual uint32_t MsgWait(uint32_t timeoutMs, HANDLE* extra);
  virtual uint8_t GetResult() const;
  virtual HANDLE GetHandle() const;
  virtual uint32_t* GetThreadId(uint32_t* out) const;
  virtual bool IsStopRequested() const;
  virtual HANDLE GetStopEvent() const;
  virtual bool MayHardKill();
  virtual int32_t GetStartCount() const;
  virtual void SetStopTimeout(int32_t ms);
  virtual void SetPumpMessagesWhileStopping(bool pump);
  virtual void SetStopPollInterval(uint32_t ms);
  virtual void SetForgetMessagesAtStop(bool forget);
  virtual void SetInitializeCom(bool initialize);

 protected:
  // The thread body. The base sleeps in 100 ms steps until a stop is requested.
  virtual bool Run();
  // Called on the host's main thread for each value posted with PostToMainThread.
  virtual bool HandleMainThreadMessage(int32_t id, int64_t value);
  virtual bool OnBeforeStart();
  // Creates the thread (suspended), sets a non-zero priority, resumes it.
  [[nodiscard]] virtual bool StartThread(int32_t priority);
  virtual bool CloseThreadHandle(HANDLE handle);
  using ThreadExitRoutine = void (*)();
  virtual ThreadExitRoutine GetThreadExit();

 public:
  // Hands `value` to the host's main thread, where HandleMainThreadMessage(1,
  // value) receives it. False when the host has no message manager or the post
  // failed.
  [[nodiscard]] bool PostToMainThread(int64_t value);

 private:
  static unsigned __stdcall ThreadProc(void* self);
  void PumpComMessages();

  // Non-null exactly while the thread exists; the same value as thread_.
  std::atomic<HANDLE> handle_{nullptr};
  std::atomic<uint8_t> stopRequested_{0};
  VxHandle stopEvent_;
  uint32_t stopEventOwnership_ = 1;
  int32_t defaultStopTimeout_ = -1;
  uint32_t stopPollInterval_ = 20;
  std::atomic<int32_t> startCount_{0};
  std::atomic<uint8_t> result_{0};
  uint8_t pumpMessagesWhileStopping_ = 0;
  uint8_t forgetMessagesAtStop_ = 1;
  uint8_t initializeCom_ = 0;
  std::atomic<int32_t> requestedPriority_{0};
  uint32_t threadId_ = 0;
  // The owner's thread handle; touched only on the owner's thread.
  VxHandle thread_;
};
