// Loads the reference tools library once before a test program's first test,
// the way the module loads it (the program sits in a portable install), with
// the program's own log and settings root (VxToolsTestEnv). Loading it here
// also makes the test's main thread the host's main thread. Include it from
// the test files of programs that need the library from the start.
#pragma once

#include <gtest/gtest.h>

#include "live_Main/host/VxHostLibraries.h"
#include "tests/support/VxToolsTestEnv.h"

namespace vxtest {

class ToolsEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    VxToolsTestEnv::Instance();
    ASSERT_TRUE(VxHostLibraries::Instance().LoadTools());
  }
};
inline const auto* const gToolsEnvironment =
    ::testing::AddGlobalTestEnvironment(new ToolsEnvironment);

}  // namespace vxtest
