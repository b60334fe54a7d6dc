// Main-thread messages: posted from any thread, delivered on the thread that
// initialised the library, never delivered after they were dropped.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "foundation/VxHandle.h"
#include "live_Main/IVxTools.h"
#include "tests/support/VxToolsTestEnv.h"

namespace {

VxToolsTestEnv& Env() {
  return VxToolsTestEnv::Instance();
}

struct Delivery {
  int32_t id;
  int64_t value;
  DWORD thread;
};

class Recorder final : public IMainThreadMessageManagerCallback {
 public:
  bool OnMainThreadMessage(int32_t id, int64_t value) override {
    std::lock_guard<std::mutex> lock(mutex_);
    deliveries_.push_back({id, value, ::GetCurrentThreadId()});
    return true;
  }
  std::vector<Delivery> Deliveries() {
    std::lock_guard<std::mutex> lock(mutex_);
    return deliveries_;
  }

 private:
  std::mutex mutex_;
  std::vector<Delivery> deliveries_;
};

class MainThreadMessages : public ::testing::Test {
 protected:
  void SetUp() override {
    tools_ = Env().LoadTools();
    ASSERT_NE(tools_, nullptr);
    ASSERT_TRUE(tools_->Initialize(false, ::GetModuleHandleW(nullptr)));
    manager_ = tools_->GetMainThreadMessageManager(false);
    ASSERT_NE(manager_, nullptr);
    EXPECT_EQ(tools_->GetMainThreadMessageManager(true), manager_);
    pump_ = tools_->GetUiServices(true)->GetMessagePump(true);
  }
  void TearDown() override { tools_->Uninitialize(false, ::GetModuleHandleW(nullptr)); }

  // Pumps until `done` holds; the library's pump blocks for each message, so a
  // sentinel post guarantees there is always one more to come.
  template <typename Pred>
  void PumpUntil(Pred done) {
    for (int i = 0; i < 100000 && !done(); ++i)
      ASSERT_TRUE(pump_->PumpNext());
    ASSERT_TRUE(done());
  }

  IVxTools* tools_ = nullptr;
  IVxMainThreadMessageManager* manager_ = nullptr;
  IVxMessagePump* pump_ = nullptr;
};

}  // namespace

TEST_F(MainThreadMessages, PostsFromWorkersArriveOnTheMainThreadInOrder) {
  Recorder recorder;
  constexpr int kPosts = 50;
  std::thread worker([&] {
    for (int i = 0; i < kPosts; ++i)
      EXPECT_TRUE(manager_->Post(&recorder, 1, 1000 + i));
  });
  worker.join();
  PumpUntil([&] { return recorder.Deliveries().size() == kPosts; });
  const std::vector<Delivery> got = recorder.Deliveries();
  for (int i = 0; i < kPosts; ++i) {
    EXPECT_EQ(got[i].id, 1);
    EXPECT_EQ(got[i].value, 1000 + i);
    EXPECT_EQ(got[i].thread, ::GetCurrentThreadId());
  }
}

TEST_F(MainThreadMessages, DroppedAndForgottenCallbacksReceiveNothing) {
  Recorder dropped, forgotten, kept;
  std::thread worker([&] {
    for (int i = 0; i < 5; ++i) {
      EXPECT_TRUE(manager_->Post(&dropped, 1, i));
      EXPECT_TRUE(manager_->Post(&kept, 1, i));
      EXPECT_TRUE(manager_->Post(&forgotten, 1, i));
    }
  });
  worker.join();
  manager_->DropMessages(&dropped);
  manager_->ForgetThread(&forgotten);
  // Posting again after a drop works as before.
  EXPECT_TRUE(manager_->Post(&dropped, 2, 99));
  PumpUntil([&] { return kept.Deliveries().size() == 5 && dropped.Deliveries().size() == 1; });
  // Every remaining wake-up has been handled once this sentinel arrives.
  Recorder sentinel;
  EXPECT_TRUE(manager_->Post(&sentinel, 1, 0));
  PumpUntil([&] { return sentinel.Deliveries().size() == 1; });
  EXPECT_TRUE(forgotten.Deliveries().empty());
  ASSERT_EQ(dropped.Deliveries().size(), 1u);
  EXPECT_EQ(dropped.Deliveries()[0].value, 99);
}

// A callback being delivered while another thread drops its messages: the
// drop returns only after the delivery, so the owner can destroy the object.
TEST_F(MainThreadMessages, DropFromAnotherThreadWaitsForARunningDelivery) {
  VxHandle entered(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  VxHandle dropping(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::atomic<bool> dropReturned{false};
  std::atomic<bool> returnedDuringDelivery{false};

  class Blocking final : public IMainThreadMessageManagerCallback {
   public:
    HANDLE entered, dropping;
    std::atomic<bool>* dropReturned;
    std::atomic<bool>* returnedDuringDelivery;
    bool OnMainThreadMessage(int32_t, int64_t) override {
      ::SetEvent(entered);
      ::WaitForSingleObject(dropping, INFINITE);
      // Give a drop that does not wait the chance to return too early.
      ::Sleep(100);
      *returnedDuringDelivery = dropReturned->load();
      return true;
    }
  } blocking;
  blocking.entered = entered.get();
  blocking.dropping = dropping.get();
  blocking.dropReturned = &dropReturned;
  blocking.returnedDuringDelivery = &returnedDuringDelivery;

  ASSERT_TRUE(manager_->Post(&blocking, 1, 0));
  std::thread owner([&] {
    ::WaitForSingleObject(entered.get(), INFINITE);
    ::SetEvent(dropping.get());
    manager_->DropMessages(&blocking);
    dropReturned = true;
  });
  ASSERT_TRUE(pump_->PumpNext());
  owner.join();
  EXPECT_FALSE(returnedDuringDelivery);
  EXPECT_TRUE(dropReturned);
}

TEST(MainThreadMessagesLifetime, LastUninitializeOnAnotherThreadEndsPosting) {
  IVxTools* tools = Env().LoadTools();
  ASSERT_NE(tools, nullptr);
  HINSTANCE self = ::GetModuleHandleW(nullptr);
  ASSERT_TRUE(tools->Initialize(false, self));
  IVxMainThreadMessageManager* manager = tools->GetMainThreadMessageManager(false);
  ASSERT_NE(manager, nullptr);
  Recorder recorder;
  ASSERT_TRUE(manager->Post(&recorder, 1, 1));
  std::thread([&] { tools->Uninitialize(false, self); }).join();

  EXPECT_EQ(tools->GetMainThreadMessageManager(false), nullptr);
  EXPECT_FALSE(manager->Post(&recorder, 1, 2));
  // The window closes on this thread; the queued value is never delivered.
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
    ::DispatchMessageW(&msg);
  EXPECT_TRUE(recorder.Deliveries().empty());
}
