// The host library set and the image library: initialised once when loaded,
// released at unload, loaded again on demand.
#include <gtest/gtest.h>

#include "live_Main/host/VxHostLibraries.h"
#include "tests/support/VxToolsTestEnv.h"

TEST(ImageLibrary, HostLibrariesInitialiseItOnceAndReleaseItAtUnload) {
  VxToolsTestEnv::Instance();
  const std::wstring path = VxToolsTestEnv::ExeFolder() + L"VxImage.dll";
  VxHostLibraries& libraries = VxHostLibraries::Instance();
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(libraries.LoadImage());
    ASSERT_TRUE(libraries.LoadImage());
    HMODULE image = ::GetModuleHandleW(path.c_str());
    ASSERT_NE(image, nullptr);
    auto count = reinterpret_cast<int (*)()>(
        reinterpret_cast<void*>(::GetProcAddress(image, "VxImageInitializeCount")));
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(count(), 1) << "round " << round;
    EXPECT_NE(libraries.Image(), nullptr);
    // Keep the library mapped across the unload to read its count afterwards.
    HMODULE pin = ::LoadLibraryW(path.c_str());
    libraries.Unload(false);
    EXPECT_EQ(libraries.Image(), nullptr);
    EXPECT_EQ(count(), 0) << "round " << round;
    ::FreeLibrary(pin);
    EXPECT_EQ(::GetModuleHandleW(path.c_str()), nullptr) << "the set's own reference is gone";
  }
}
