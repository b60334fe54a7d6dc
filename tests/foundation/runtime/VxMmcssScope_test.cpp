#include "foundation/runtime/VxMmcssScope.h"

#include <gtest/gtest.h>

#include <thread>

// The two task names the sources use register the calling thread, and again
// once reverted; the empty name registers nothing.
TEST(MmcssScope, RegistersTheCallingThreadAndRevertsOnExit) {
  for (const wchar_t* task : {L"Pro Audio", L"Capture", L""}) {
    const bool expected = task[0] != 0;
    std::thread([task, expected] {
      {
        VxMmcssScope scope(task);
        EXPECT_EQ(scope.IsRegistered(), expected) << task;
      }
      VxMmcssScope again(task);
      EXPECT_EQ(again.IsRegistered(), expected) << task;
    }).join();
  }
}
