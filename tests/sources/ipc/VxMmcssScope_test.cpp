#include "sources/ipc/VxMmcssScope.h"

#include <gtest/gtest.h>

#include <thread>

TEST(MmcssScope, RegistersTheCallingThreadAndRevertsOnExit) {
  std::thread([] {
    {
      VxMmcssScope scope(L"Pro Audio");
      EXPECT_TRUE(scope.IsRegistered());
    }
    // Once reverted, the thread can register again.
    VxMmcssScope again(L"Pro Audio");
    EXPECT_TRUE(again.IsRegistered());
  }).join();
}
