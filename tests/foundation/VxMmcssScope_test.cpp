#include "foundation/VxMmcssScope.h"

#include <gtest/gtest.h>

#include <thread>

// The two task names the sources use, and the empty name that registers nothing.
TEST(MmcssScope, RegistersTheCallingThreadAndRevertsOnExit) {
  for (const wchar_t* task : {L"Pro Audio", L"Capture"}) {
    std::thread([task] {
      {
        VxMmcssScope scope(task);
        EXPECT_TRUE(scope.IsRegistered()) << task;
      }
      // Once reverted, the thread can register again.
      VxMmcssScope again(task);
      EXPECT_TRUE(again.IsRegistered()) << task;
    }).join();
  }
}

TEST(MmcssScope, EmptyTaskNameLeavesTheThreadUnregistered) {
  std::thread([] {
    VxMmcssScope scope(L"");
    EXPECT_FALSE(scope.IsRegistered());
  }).join();
}
