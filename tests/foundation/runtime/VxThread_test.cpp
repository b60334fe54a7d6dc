// VxThread with real threads: start and restart, priorities, the stop flag and
// event, results, COM on the worker, cancelling blocked I/O, hard kills, the
// waits, and values handed to the main thread.
#include "foundation/runtime/VxThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "foundation/VxHandle.h"
#include "live_Main/host/VxHostLibraries.h"
#include "tests/support/VxToolsGtestEnvironment.h"
#include "tests/support/VxToolsTestEnv.h"

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

struct Delivery {
  int32_t id;
  int64_t value;
  DWORD thread;
};

// A thread whose body the test supplies; it records values handed to the
// main thread.
class TestThread : public VxThread {
 public:
  explicit TestThread(std::function<bool(TestThread&)> body = {}) : body_(std::move(body)) {}
  ~TestThread() override { Stop(-1); }

  bool Run() override { return body_ ? body_(*this) : VxThread::Run(); }
  bool HandleMainThreadMessage(int32_t id, int64_t value) override {
    delivered.push_back({id, value, ::GetCurrentThreadId()});
    return true;
  }

  std::vector<Delivery> delivered;  // main thread only

 private:
  std::function<bool(TestThread&)> body_;
};

// The log line Stop writes when it gives up on the thread's body.
std::string KillLine(const VxThread& thread, int timeoutMs) {
  char text[96];
  std::snprintf(text, sizeof(text), "Hard killing thread (handle=%llx), it exceeded timeout=%d MS",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(thread.GetHandle())),
                timeoutMs);
  return text;
}

// Log lines from `from` on that contain `text`, checked for category and source.
size_t CountLogLines(const std::string& text, size_t from, const char* source) {
  size_t count = 0;
  for (const std::string& line : VxToolsTestEnv::Instance().FindLogLines(text, from)) {
    VxLogEntry entry;
    EXPECT_TRUE(VxParseLogLine(line, entry)) << line;
    EXPECT_EQ(entry.category, 1) << line;
    EXPECT_EQ(entry.source, source) << line;
    ++count;
  }
  return count;
}

VxHandle MakeEvent() {
  return VxHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

bool WaitSignalled(const VxHandle& event, DWORD ms = 10000) {
  return ::WaitForSingleObject(event.get(), ms) == WAIT_OBJECT_0;
}

uint32_t ThreadIdOf(const VxThread& thread) {
  uint32_t id = 0;
  thread.GetThreadId(&id);
  return id;
}

// A handle of our own to the worker, which outlives the one VxThread closes at Stop.
VxHandle OpenWorker(const VxThread& thread) {
  return VxHandle(::OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, ThreadIdOf(thread)));
}

// The worker's exit code once it has ended: 0 when its body returned, 1 when
// Stop terminated it.
DWORD ExitCodeOf(const VxHandle& worker) {
  DWORD code = 99;
  if (::WaitForSingleObject(worker.get(), 10000) != WAIT_OBJECT_0 ||
      !::GetExitCodeThread(worker.get(), &code))
    ADD_FAILURE() << "the worker did not end";
  return code;
}

// A refused start creates no thread, and Stop on a never-started object
// returns true at once.
TEST(VxThreadLifecycle, NeverStartedHasNothingToStop) {
  struct Refusing : TestThread {
    bool OnBeforeStart() override { return false; }
  } thread;
  EXPECT_FALSE(thread.Start(0, false));
  EXPECT_EQ(thread.GetStopEvent(), nullptr);
  EXPECT_TRUE(thread.Stop(5000));
  EXPECT_EQ(thread.GetStartCount(), 0);
  EXPECT_FALSE(thread.IsStopRequested());
  EXPECT_EQ(thread.Wait(0, static_cast<HANDLE>(nullptr)), 0u);
  EXPECT_EQ(thread.WaitForExit(), 0u);
}

TEST(VxThreadLifecycle, StartOnRunningThreadKeepsItUnlessRestartIsAsked) {
  TestThread thread;
  ASSERT_TRUE(thread.Start(0, false));
  ASSERT_TRUE(thread.IsRunning());
  const uint32_t firstId = ThreadIdOf(thread);
  VxHandle first = OpenWorker(thread);
  ASSERT_TRUE(first);

  ASSERT_TRUE(thread.Start(0, false));
  EXPECT_EQ(ThreadIdOf(thread), firstId);
  EXPECT_EQ(thread.GetStartCount(), 1);
  EXPECT_EQ(::WaitForSingleObject(first.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));

  // With restart the old thread is told to stop (the base body ends only
  // then) before the new one starts.
  ASSERT_TRUE(thread.Start(0, true));
  EXPECT_EQ(::WaitForSingleObject(first.get(), 10000), WAIT_OBJECT_0);
  EXPECT_NE(ThreadIdOf(thread), firstId);
  EXPECT_EQ(thread.GetStartCount(), 2);
  EXPECT_FALSE(thread.IsStopRequested());

  EXPECT_TRUE(thread.Stop(-1));  // the base body returns true
  EXPECT_FALSE(thread.IsRunning());
  EXPECT_EQ(ThreadIdOf(thread), 0u);
}

// Priority 0 leaves the worker at normal, 15 makes it time-critical; COM is
// initialised on the worker only when asked.
TEST(VxThreadStart, PriorityAndComOnTheWorker) {
  std::atomic<HRESULT> seen{E_FAIL};
  TestThread thread([&](TestThread& self) {
    const HRESULT hr = ::CoInitialize(nullptr);  // S_FALSE when already initialised
    seen = hr;
    if (SUCCEEDED(hr))
      ::CoUninitialize();
    return ::WaitForSingleObject(self.GetStopEvent(), INFINITE) == WAIT_OBJECT_0;
  });
  EXPECT_FALSE(thread.SetPriority(THREAD_PRIORITY_HIGHEST));  // not running

  ASSERT_TRUE(thread.Start(0, false));
  EXPECT_EQ(::GetThreadPriority(thread.GetHandle()), THREAD_PRIORITY_NORMAL);
  EXPECT_TRUE(thread.Stop(-1));
  EXPECT_EQ(seen.load(), S_OK);

  thread.SetInitializeCom(true);
  ASSERT_TRUE(thread.Start(15, false));
  EXPECT_EQ(::GetThreadPriority(thread.GetHandle()), THREAD_PRIORITY_TIME_CRITICAL);
  EXPECT_TRUE(thread.SetPriority(THREAD_PRIORITY_BELOW_NORMAL));
  EXPECT_EQ(::GetThreadPriority(thread.GetHandle()), THREAD_PRIORITY_BELOW_NORMAL);
  EXPECT_TRUE(thread.Stop(-1));
  EXPECT_EQ(seen.load(), S_FALSE);
}

// Stop sets the flag before the event, gives the body's result once and
// releases the event; a new start clears both.
TEST(VxThreadStop, SetsFlagAndEventReportsResultOnceAndNewStartClearsThem) {
  std::atomic<bool> sawFlag{false}, answer{false};
  TestThread thread([&](TestThread& self) {
    // Wakes on the event alone: the flag must already be set when it fires.
    if (::WaitForSingleObject(self.GetStopEvent(), INFINITE) != WAIT_OBJECT_0)
      return false;
    sawFlag = self.IsStopRequested();
    return answer.load();
  });
  for (const bool result : {false, true}) {
    answer = result;
    ASSERT_TRUE(thread.Start(0, false));
    ASSERT_NE(thread.GetStopEvent(), nullptr);
    EXPECT_FALSE(thread.IsStopRequested());
    EXPECT_EQ(::WaitForSingleObject(thread.GetStopEvent(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    if (result) {
      ASSERT_TRUE(thread.SetStopRequested(true));
      thread.WaitForExit();  // the result is stored before the worker lets go of its handle
      EXPECT_EQ(thread.GetResult(), 1);
    }
    EXPECT_EQ(thread.Stop(-1), result);
    EXPECT_TRUE(sawFlag);
    EXPECT_TRUE(thread.IsStopRequested());
    EXPECT_EQ(thread.GetStopEvent(), nullptr);  // released with the thread
    EXPECT_EQ(thread.GetResult(), 0);
  }
  EXPECT_FALSE(thread.Stop(-1));
  EXPECT_EQ(thread.GetStartCount(), 2);
}

std::atomic<int> gTimerTicks{0};
void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) {
  ++gTimerTicks;
}

TEST(VxThreadWait, ReportsWhichHandleEndedTheWaitAndMsgWaitDispatchesInput) {
  TestThread thread;
  ASSERT_TRUE(thread.Start(0, false));
  VxHandle extra = MakeEvent();
  EXPECT_EQ(thread.Wait(50, extra.get()), static_cast<uint32_t>(WAIT_TIMEOUT));

  // A thread timer with a callback is dispatched without any window. It fires
  // far more often than the timeout, so a wait that restarted the full timeout
  // after each message would never end.
  gTimerTicks = 0;
  const UINT_PTR timer = ::SetTimer(nullptr, 0, 20, &CountTick);
  ASSERT_NE(timer, 0u);
  const auto start = Clock::now();
  const uint32_t r = thread.MsgWait(400, nullptr);
  const long long elapsed = MsSince(start);
  ::KillTimer(nullptr, timer);
  EXPECT_TRUE(r == WAIT_TIMEOUT || r == WAIT_OBJECT_0 + 2) << r;
  EXPECT_GE(elapsed, 300);
  EXPECT_LT(elapsed, 5000);
  EXPECT_GE(gTimerTicks.load(), 2);

  ::SetEvent(extra.get());
  EXPECT_EQ(thread.Wait(10000, extra.get()), WAIT_OBJECT_0 + 2);
  HANDLE extraHandle = extra.get();
  EXPECT_EQ(thread.Wait(10000, &extraHandle), WAIT_OBJECT_0 + 2);
  EXPECT_EQ(thread.Wait(50, static_cast<HANDLE*>(nullptr)), static_cast<uint32_t>(WAIT_TIMEOUT));

  ASSERT_TRUE(thread.SetStopRequested(true));
  EXPECT_EQ(thread.Wait(10000, static_cast<HANDLE*>(nullptr)), WAIT_OBJECT_0);
  EXPECT_EQ(thread.MsgWait(10000, nullptr), WAIT_OBJECT_0);
  EXPECT_TRUE(thread.Stop(-1));
  EXPECT_EQ(thread.MsgWait(10000, nullptr), 0u);  // not running
}

// Past the limit Stop first cancels the body's blocked synchronous read (the
// body then returns: exit code 0, Stop gives its result); a body with nothing
// to cancel is terminated (exit code 1, Stop gives false). Logged once each.
TEST(VxThreadStop, PastTheLimitCancelsABlockedReadElseTerminates) {
  VxHandle readEnd, writeEnd;
  ASSERT_TRUE(::CreatePipe(readEnd.put(), writeEnd.put(), nullptr, 0));
  std::atomic<DWORD> readError{0};
  std::atomic<bool> release;
  for (const bool blockedRead : {true, false}) {
    release = false;
    VxHandle running = MakeEvent();
    // Neither body looks at the stop flag.
    TestThread thread([&](TestThread&) {
      ::SetEvent(running.get());
      char byte;
      DWORD got = 0;
      if (blockedRead && !::ReadFile(readEnd.get(), &byte, 1, &got, nullptr))
        readError = ::GetLastError();
      while (!blockedRead && !release)
        ::Sleep(5);
      return true;
    });
    ASSERT_TRUE(thread.Start(0, false));
    ASSERT_TRUE(WaitSignalled(running));
    VxHandle worker = OpenWorker(thread);
    const std::string killed = KillLine(thread, 300);
    const size_t logFrom = VxToolsTestEnv::Instance().LogLineCount();

    const auto start = Clock::now();
    EXPECT_EQ(thread.Stop(300), blockedRead);
    EXPECT_GE(MsSince(start), 250);
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_EQ(ExitCodeOf(worker), blockedRead ? 0u : 1u);
    release = true;
    EXPECT_EQ(CountLogLines("Hard killing thread", logFrom, "VxThread::Stop"), 1u);
    EXPECT_EQ(VxToolsTestEnv::Instance().FindLogLines(killed, logFrom).size(), 1u);
  }
  EXPECT_EQ(readError.load(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
}

TEST(VxThreadStop, DefaultTimeoutAppliesAndMayHardKillCanRefuse) {
  // Refused kills leave the thread alone: Stop keeps waiting, asking again on
  // every round, until the body ends by itself (here after the fifth refusal).
  struct Gentle : TestThread {
    using TestThread::TestThread;
    std::atomic<int> asked{0};
    std::atomic<bool> release{false};
    bool MayHardKill() override {
      if (++asked >= 5)
        release = true;
      return false;
    }
  } thread([](TestThread& self) {
    while (!static_cast<Gentle&>(self).release)
      ::Sleep(5);
    return true;
  });
  thread.SetStopTimeout(100);
  ASSERT_TRUE(thread.Start(0, false));
  VxHandle worker = OpenWorker(thread);
  EXPECT_TRUE(thread.Stop(-1));
  EXPECT_GE(thread.asked.load(), 5);
  EXPECT_EQ(ExitCodeOf(worker), 0u);
}

TEST(VxThreadStop, EndsWaitWhenThreadHandleTurnsInvalid) {
  // The body closes the thread's handle behind the object's back, which
  // makes it invalid for Stop; Stop must not close it a second time.
  struct ClosesOwnHandle : TestThread {
    using TestThread::TestThread;
    bool CloseThreadHandle(HANDLE) override { return true; }
  };
  VxHandle go = MakeEvent(), closed = MakeEvent(), release = MakeEvent();
  ClosesOwnHandle thread([&](TestThread& self) {
    if (!WaitSignalled(go))
      return false;
    VxHandle(self.GetHandle()).reset();
    ::SetEvent(closed.get());
    return WaitSignalled(release, 60000);
  });
  ASSERT_TRUE(thread.Start(0, false));
  VxHandle worker = OpenWorker(thread);  // taken first, so it cannot reuse the closed value
  ASSERT_TRUE(worker);
  ::SetEvent(go.get());
  ASSERT_TRUE(WaitSignalled(closed));
  VxToolsTestEnv& env = VxToolsTestEnv::Instance();
  const size_t logFrom = env.LogLineCount();

  const auto start = Clock::now();
  EXPECT_FALSE(thread.Stop(-1));  // no limit, yet it ends once the handle is found invalid
  EXPECT_GE(MsSince(start), 900);
  EXPECT_FALSE(thread.IsRunning());
  EXPECT_EQ(::WaitForSingleObject(worker.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(CountLogLines("GetThreadPriority returned error", logFrom, "VxThread::Stop"), 1u);
  EXPECT_EQ(env.FindLogLines("GetThreadPriority returned error, errno=6", logFrom).size(), 1u);

  ::SetEvent(release.get());
  ASSERT_EQ(::WaitForSingleObject(worker.get(), 10000), WAIT_OBJECT_0);
}

// Stop's time limit runs out just as the body returns: whoever closes the
// thread handle must do so once, and no one may use it after it is closed.
TEST(VxThreadStop, LimitReachedWhileBodyReturnsClosesHandleOnce) {
  struct Recording : TestThread {
    using TestThread::TestThread;
    DWORD owner = ::GetCurrentThreadId();
    VxHandle release = MakeEvent(), workerClosed = MakeEvent(), ownerClosed = MakeEvent();
    VxHandle worker;
    std::vector<std::pair<DWORD, bool>> closes;  // caller, success
    bool CloseThreadHandle(HANDLE handle) override {
      const bool ok = ::CloseHandle(handle) != FALSE;
      closes.emplace_back(::GetCurrentThreadId(), ok);
      if (::GetCurrentThreadId() == owner) {
        ::SetEvent(ownerClosed.get());
      } else {
        // Holds a worker that closes its own handle until the owner acted.
        ::SetEvent(workerClosed.get());
        ::WaitForSingleObject(ownerClosed.get(), 2000);
      }
      return ok;
    }
    bool MayHardKill() override {
      // Lets the body return, then kills once the worker has closed its
      // handle or ended.
      ::SetEvent(release.get());
      HANDLE either[2] = {workerClosed.get(), worker.get()};
      ::WaitForMultipleObjects(2, either, FALSE, 10000);
      return true;
    }
  };
  for (int round = 0; round < 3; ++round) {
    Recording thread([](TestThread& self) {
      return WaitSignalled(static_cast<Recording&>(self).release, 60000);
    });
    ASSERT_TRUE(thread.Start(0, false));
    thread.worker = OpenWorker(thread);
    ASSERT_TRUE(thread.worker);
    EXPECT_TRUE(thread.Stop(0));
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_EQ(thread.GetHandle(), nullptr);
    ASSERT_EQ(::WaitForSingleObject(thread.worker.get(), 10000), WAIT_OBJECT_0);
    ASSERT_EQ(thread.closes.size(), 1u);
    EXPECT_TRUE(thread.closes[0].second);
    EXPECT_EQ(thread.closes[0].first, thread.owner);
  }
}

// Values posted by the worker arrive in order on this (the host's main) thread
// while it pumps; those still queued when Stop runs are dropped.
TEST(VxThreadMainThread, PostedValuesArriveInOrderAndStopDropsTheRest) {
  VxHandle posted = MakeEvent();
  std::atomic<bool> allPosted{true};
  TestThread thread([&](TestThread& self) {
    for (int64_t v : {42LL, -7LL, 1LL << 40})
      allPosted = allPosted && self.PostToMainThread(v);
    ::SetEvent(posted.get());
    if (::WaitForSingleObject(self.GetStopEvent(), INFINITE) != WAIT_OBJECT_0)
      return false;
    for (int64_t v : {1, 2, 3})
      allPosted = allPosted && self.PostToMainThread(v);
    return true;
  });
  ASSERT_TRUE(thread.Start(0, false));
  ASSERT_TRUE(WaitSignalled(posted));
  // Delivery needs this thread to pump; MsgWait does.
  const auto start = Clock::now();
  while (thread.delivered.size() < 3 && MsSince(start) < 10000)
    thread.MsgWait(100, nullptr);
  ASSERT_EQ(thread.delivered.size(), 3u);
  const int64_t expected[] = {42, -7, 1LL << 40};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(thread.delivered[i].id, 1);
    EXPECT_EQ(thread.delivered[i].value, expected[i]);
    EXPECT_EQ(thread.delivered[i].thread, ::GetCurrentThreadId());
  }
  EXPECT_TRUE(thread.Stop(-1));  // no pumping while the last three are posted
  EXPECT_TRUE(allPosted);

  // Everything queued before the marker is dispatched before it.
  const UINT marker = WM_APP + 17;
  ASSERT_TRUE(::PostThreadMessageW(::GetCurrentThreadId(), marker, 0, 0));
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0 && msg.message != marker)
    ::DispatchMessageW(&msg);
  EXPECT_EQ(msg.message, marker);
  EXPECT_EQ(thread.delivered.size(), 3u);
}

// COM delivers calls into a single-threaded apartment as messages to its
// message-only window. A worker waiting for such a call while the apartment's
// thread sits in Stop would deadlock unless Stop pumps them.
LRESULT CALLBACK ApartmentWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_APP + 1)
    return ::SetEvent(reinterpret_cast<HANDLE>(lParam));
  return ::DefWindowProcW(window, message, wParam, lParam);
}

TEST(VxThreadStop, PumpsApartmentMessagesWhileWaiting) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = &ApartmentWindowProc;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"OleMainThreadWndClass";
  ASSERT_NE(::RegisterClassW(&windowClass), 0);
  HWND window = ::CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                  nullptr, windowClass.hInstance, nullptr);
  ASSERT_NE(window, nullptr);

  VxHandle answered = MakeEvent(), started = MakeEvent();
  TestThread thread([&](TestThread& self) {
    ::SetEvent(started.get());
    // Calls into the apartment only once the owner is inside Stop.
    if (::WaitForSingleObject(self.GetStopEvent(), 10000) != WAIT_OBJECT_0)
      return false;
    ::PostMessageW(window, WM_APP + 1, 0, reinterpret_cast<LPARAM>(answered.get()));
    return WaitSignalled(answered, 10000);
  });
  thread.SetPumpMessagesWhileStopping(true);
  ASSERT_TRUE(thread.Start(0, false));
  ASSERT_TRUE(WaitSignalled(started));
  EXPECT_TRUE(thread.Stop(-1));

  ::DestroyWindow(window);
  ::UnregisterClassW(windowClass.lpszClassName, windowClass.hInstance);
}

}  // namespace
