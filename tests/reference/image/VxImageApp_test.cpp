// The reference image library loads, answers its entry point and counts.
#include <gtest/gtest.h>

#include "live_Main/IVxTools.h"
#include "tests/support/VxToolsTestEnv.h"

TEST(ImageLibrary, EntryPointGivesOneServiceThatCountsInitialisation) {
  HMODULE library = ::LoadLibraryW((VxToolsTestEnv::ExeFolder() + L"VxImage.dll").c_str());
  ASSERT_NE(library, nullptr);
  auto get = reinterpret_cast<VxGetImageAppProc>(
      reinterpret_cast<void*>(::GetProcAddress(library, "GetVxImageAppDLL")));
  auto count = reinterpret_cast<int (*)()>(
      reinterpret_cast<void*>(::GetProcAddress(library, "VxImageInitializeCount")));
  ASSERT_NE(get, nullptr);
  ASSERT_NE(count, nullptr);
  IVxImageApp* app = get();
  ASSERT_NE(app, nullptr);
  EXPECT_EQ(get(), app);
  EXPECT_TRUE(app->Initialize(false));
  EXPECT_TRUE(app->Initialize(false));
  EXPECT_EQ(count(), 2);
  app->Uninitialize(false);
  app->Uninitialize(false);
  app->Uninitialize(false);
  EXPECT_EQ(count(), 0);
  ::FreeLibrary(library);
}
