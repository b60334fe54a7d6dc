#include "foundation/runtime/VxThread.h"

#include <process.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <vector>

#include "foundation/VxBoundaryGuard.h"
#include "live_Main/host/VxHostLibraries.h"
#include "live_Main/host/VxLog.h"

namespace {

constexpr int kGetThreadPriorityFailed = 0x7FFFFFFF;  // THREAD_PRIORITY_ERROR_RETURN
constexpr DWORD kWakeForAllInput = 0x4FF;             // QS_ALLINPUT
constexpr uint32_t kCancelGraceMs = 100;
constexpr uint64_t kPriorityCheckAfterMs = 1000;

using CancelSynchronousIoProc = BOOL(WINAPI*)(HANDLE);

// The host's main-thread message manager, or null when the tools library or
// the service is missing.
IVxMainThreadMessageManager* MessageManager() {
  IVxTools* tools = VxGetTools();
  if (!tools || !tools->GetMainThreadMessageManager(false))
    return nullptr;
  return tools->GetMainThreadMessageManager(true);
}

// Hands a message to the host's dispatcher; without a tools library the
// message still reaches its window.
void DispatchThroughHost(const MSG& msg) {
  IVxTools* tools = VxGetTools();
  IVxUiServices* ui = tools ? tools->GetUiServices(true) : nullptr;
  IVxMessagePump* pump = ui ? ui->GetMessagePump(true) : nullptr;
  if (pump) {
    pump->Dispatch(&msg);
  } else {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

void EndCurrentThread() {
  _endthreadex(0);
}

}  // namespace

VxThread::~VxThread() {
  Stop(-1);
  stopEvent_.reset();
}

bool VxThread::OnMainThreadMessage(int32_t id, int64_t value) noexcept {
  return VxGuardBoundary(false, [&] { return HandleMainThreadMessage(id, value); });
}

bool VxThread::Start(int32_t priority, bool restart) {
  requestedPriority_.store(priority);
  if (IsRunning() && !restart)
    return true;

  Stop(-1);
  SetStopRequested(false);
  if (!OnBeforeStart())
    return false;

  HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!event)
    return false;
  stopEvent_.reset(event);
  stopEventOwnership_ = 1;

  const bool ok = StartThread(priority);
  if (ok)
    startCount_.fetch_add(1);
  return ok;
}

bool VxThread::StartThread(int32_t priority) {
  unsigned id = 0;
  // Suspended, so that the handle is published and the priority set before
  // the body runs.
  const uintptr_t created =
      _beginthreadex(nullptr, 0, &VxThread::ThreadProc, this, CREATE_SUSPENDED, &id);
  HANDLE handle = reinterpret_cast<HANDLE>(created);
  if (!handle) {
    VxLog(kVxLogRuntime, u"VxThread::StartThread", u"Error starting thread, errno=%d", {errno});
    return false;
  }
  thread_.reset(handle);
  threadId_ = id;
  handle_.store(handle);
  if (priority != 0)
    (void)::SetThreadPriority(handle, priority);
  ::ResumeThread(handle);
  return true;
}

unsigned __stdcall VxThread::ThreadProc(void* param) {
  auto* self = static_cast<VxThread*>(param);
  const ThreadExitRoutine exitRoutine = self->GetThreadExit();

  bool comInitialized = false;
  if (self->initializeCom_)
    comInitialized = SUCCEEDED(::CoInitialize(nullptr));

  // Run is the derived class's; an exception it lets out ends in a failed result.
  const bool result = VxGuardBoundary(false, [&] { return self->Run(); });
  self->result_.store(result ? 1 : 0);

  if (comInitialized)
    ::CoUninitialize();
  // The last touch of the object: once the field is clear the owner may
  // destroy it. The handle itself stays with the owner.
  self->handle_.store(nullptr);

  if (exitRoutine)
    exitRoutine();
  return 0;
}

bool VxThread::Stop(int32_t timeoutMs) {
  if (startCount_.load() <= 0)
    return true;

  if (!IsStopRequested() || !stopEvent_)
    SetStopRequested(true);
  const int32_t timeout = timeoutMs == -1 ? defaultStopTimeout_ : timeoutMs;

  const uint64_t start = ::GetTickCount64();
  bool killTried = false;
  bool workerLeaving = true;
  HANDLE thread = thread_.get();
  for (HANDLE handle = handle_.load(); handle; handle = handle_.load()) {
    const uint64_t elapsed = ::GetTickCount64() - start;
    if (timeout >= 0 && elapsed > static_cast<uint64_t>(timeout) && MayHardKill()) {
      VxLog(kVxLogRuntime, u"VxThread::Stop",
            u"Hard killing thread (handle=%x), it exceeded timeout=%d MS",
            {static_cast<const void*>(handle), timeout});
      if (!killTried) {
        killTried = true;
        // Not present on every system version, hence looked up at run time.
        auto cancel = reinterpret_cast<CancelSynchronousIoProc>(reinterpret_cast<void*>(
            ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "CancelSynchronousIo")));
        if (cancel && cancel(thread)) {
          (void)::WaitForSingleObject(thread, kCancelGraceMs);
          continue;
        }
      }
      // The body may be returning at this very moment; the handle is still
      // ours, so terminating an ended thread merely fails. Once terminated the
      // worker can no longer touch the object.
      if (::TerminateThread(thread, 1))
        (void)::WaitForSingleObject(thread, INFINITE);
      workerLeaving = false;
      break;
    }
    if (elapsed > kPriorityCheckAfterMs &&
        ::GetThreadPriority(thread) == kGetThreadPriorityFailed) {
      VxLog(kVxLogRuntime, u"VxThread::Stop", u"GetThreadPriority returned error, errno=%d",
            {static_cast<unsigned long>(::GetLastError())});
      workerLeaving = false;
      break;
    }
    if (pumpMessagesWhileStopping_)
      PumpComMessages();
    // Sleeps for the poll interval, or less once the thread has ended.
    const DWORD waited = ::WaitForSingleObject(thread, stopPollInterval_);
    if (waited == WAIT_OBJECT_0) {
      workerLeaving = false;  // ended without clearing the field: nothing left to wait for
      break;
    }
    if (waited != WAIT_TIMEOUT)
      ::Sleep(stopPollInterval_);
  }
  // The worker cleared the field and is leaving the module's code; give it the
  // poll interval to be gone, but no more: at module unload it may be held up
  // by the loader until this thread returns.
  if (workerLeaving && thread)
    (void)::WaitForSingleObject(thread, stopPollInterval_);

  if (forgetMessagesAtStop_)
    ForgetMainThreadMessages();
  if (IVxMainThreadMessageManager* manager = MessageManager())
    manager->ForgetThread(this);

  const uint8_t result = result_.load();
  stopEvent_.reset();
  handle_.store(nullptr);
  if (thread_)
    (void)CloseThreadHandle(thread_.release());
  result_.store(0);
  threadId_ = 0;
  return result != 0;
}

// COM's single-threaded apartments receive calls as messages to a message-only
// window; a thread that waits for a worker inside such an apartment must keep
// them flowing, or a worker that calls back into the apartment deadlocks.
void VxThread::PumpComMessages() {
  const DWORD self = ::GetCurrentProcessId();
  std::vector<HWND> windows;
  for (HWND w = ::FindWindowExW(HWND_MESSAGE, nullptr, L"OleMainThreadWndClass", nullptr); w;
       w = ::FindWindowExW(HWND_MESSAGE, w, L"OleMainThreadWndClass", nullptr)) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(w, &process);
    if (process == self)
      windows.push_back(w);
  }
  for (HWND w : windows) {
    MSG msg;
    while (::PeekMessageW(&msg, w, 0, 0, PM_REMOVE))
      DispatchThroughHost(msg);
  }
}

bool VxThread::SetStopRequested(bool requested) {
  stopRequested_.store(requested ? 1 : 0);
  if (stopEvent_) {
    if (requested)
      ::SetEvent(stopEvent_.get());
    else
      ::ResetEvent(stopEvent_.get());
  }
  return true;
}

void VxThread::ForgetMainThreadMessages() {
  if (IVxMainThreadMessageManager* manager = MessageManager())
    manager->DropMessages(this);
}

bool VxThread::SetPriority(int32_t priority) {
  HANDLE handle = handle_.load();
  if (!handle)
    return false;
  return ::SetThreadPriority(handle, priority) != FALSE;
}

bool VxThread::IsRunning() const {
  return handle_.load() != nullptr;
}

uint32_t VxThread::WaitForExit() {
  HANDLE handle = handle_.load();
  if (!handle)
    return 0;
  return ::WaitForSingleObject(handle, INFINITE);
}

uint32_t VxThread::Wait(uint32_t timeoutMs, HANDLE extra) {
  HANDLE handle = handle_.load();
  if (!handle)
    return 0;
  HANDLE handles[3] = {GetStopEvent(), handle, extra};
  const DWORD count = extra ? 3 : 2;
  return ::WaitForMultipleObjects(count, handles, FALSE, timeoutMs);
}

uint32_t VxThread::Wait(uint32_t timeoutMs, HANDLE* extra) {
  return Wait(timeoutMs, extra ? *extra : static_cast<HANDLE>(nullptr));
}

uint32_t VxThread::MsgWait(uint32_t timeoutMs, HANDLE* extra) {
  HANDLE handle = handle_.load();
  if (!handle)
    return 0;
  HANDLE handles[3] = {GetStopEvent(), handle, extra ? *extra : nullptr};
  const DWORD count = handles[2] ? 3 : 2;
  const DWORD inputArrived = WAIT_OBJECT_0 + count;

  const auto started = std::chrono::steady_clock::now();
  DWORD r = ::MsgWaitForMultipleObjects(count, handles, FALSE, timeoutMs, kWakeForAllInput);
  DWORD remaining = timeoutMs;
  while (r == inputArrived) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
      DispatchThroughHost(msg);
    if (timeoutMs != INFINITE) {
      const std::chrono::duration<double, std::milli> elapsed =
          std::chrono::steady_clock::now() - started;
      const double left = static_cast<double>(timeoutMs) - std::round(elapsed.count());
      if (left < 1.0)
        return r;
      remaining = static_cast<DWORD>(left);
    }
    r = ::MsgWaitForMultipleObjects(count, handles, FALSE, remaining, kWakeForAllInput);
  }
  return r;
}

uint8_t VxThread::GetResult() const {
  return result_.load();
}

HANDLE VxThread::GetHandle() const {
  return handle_.load();
}

uint32_t* VxThread::GetThreadId(uint32_t* out) const {
  *out = threadId_;
  return out;
}

bool VxThread::IsStopRequested() const {
  return stopRequested_.load() != 0;
}

HANDLE VxThread::GetStopEvent() const {
  return stopEvent_.get();
}

bool VxThread::MayHardKill() {
  return true;
}

int32_t VxThread::GetStartCount() const {
  return startCount_.load();
}

void VxThread::SetStopTimeout(int32_t ms) {
  defaultStopTimeout_ = ms;
}

void VxThread::SetPumpMessagesWhileStopping(bool pump) {
  pumpMessagesWhileStopping_ = pump ? 1 : 0;
}

void VxThread::SetStopPollInterval(uint32_t ms) {
  stopPollInterval_ = ms;
}

void VxThread::SetForgetMessagesAtStop(bool forget) {
  forgetMessagesAtStop_ = forget ? 1 : 0;
}

void VxThread::SetInitializeCom(bool initialize) {
  initializeCom_ = initialize ? 1 : 0;
}

bool VxThread::Run() {
  while (!IsStopRequested())
    ::Sleep(100);
  return true;
}

bool VxThread::HandleMainThreadMessage(int32_t, int64_t) {
  return false;
}

bool VxThread::OnBeforeStart() {
  return true;
}

bool VxThread::CloseThreadHandle(HANDLE handle) {
  VxHandle closing(handle);
  closing.reset();
  return handle != nullptr;
}

VxThread::ThreadExitRoutine VxThread::GetThreadExit() {
  return &EndCurrentThread;
}

bool VxThread::PostToMainThread(int64_t value) {
  IVxMainThreadMessageManager* manager = MessageManager();
  if (!manager)
    return false;
  return manager->Post(this, 1, value);
}
