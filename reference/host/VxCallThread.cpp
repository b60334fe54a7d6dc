#include "reference/host/VxCallThread.h"

#include <objbase.h>
#include <process.h>

#include "reference/host/VxMessagePump.h"

struct VxCallThread::Shared {
  VxHandle work{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
  VxHandle done{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
  std::function<void()> call;  // empty: end the thread
};

VxCallThread::VxCallThread() : shared_(std::make_shared<Shared>()) {
  // The thread holds its own reference, so an abandoned thread keeps what it uses.
  auto* own = new std::shared_ptr<Shared>(shared_);
  thread_.reset(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, Main, own, 0, nullptr)));
  if (!thread_) {
    delete own;
    stuck_ = true;
  }
}

VxCallThread::~VxCallThread() {
  if (!thread_ || stuck_)
    return;  // a stuck thread is abandoned: closing its handle leaves it running
  shared_->call = nullptr;
  ::SetEvent(shared_->work.get());
  ::WaitForSingleObject(thread_.get(), INFINITE);
}

unsigned __stdcall VxCallThread::Main(void* own) {
  std::shared_ptr<Shared> shared = std::move(*static_cast<std::shared_ptr<Shared>*>(own));
  delete static_cast<std::shared_ptr<Shared>*>(own);
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  for (;;) {
    // Between calls the thread dispatches what the plug-in's objects post to it.
    const HANDLE work = shared->work.get();
    if (VxPumpingWait(1, &work, INFINITE) != WAIT_OBJECT_0)
      break;
    std::function<void()> call = std::move(shared->call);
    if (!call)
      break;
    call();
    call = nullptr;  // releases what the call held before the caller is told
    ::SetEvent(shared->done.get());
  }
  if (SUCCEEDED(com))
    ::CoUninitialize();
  return 0;
}

bool VxCallThread::Run(std::function<void()> call, DWORD limitMs, double& elapsedMs) {
  elapsedMs = 0;
  if (stuck_ || !call)
    return false;
  LARGE_INTEGER start, end, frequency;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&start);
  shared_->call = std::move(call);
  ::SetEvent(shared_->work.get());
  const bool returned = ::WaitForSingleObject(shared_->done.get(), limitMs) == WAIT_OBJECT_0;
  ::QueryPerformanceCounter(&end);
  elapsedMs = static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 /
              static_cast<double>(frequency.QuadPart);
  stuck_ = !returned;
  return returned;
}
