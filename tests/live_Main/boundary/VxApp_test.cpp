// The application object's handling of the loader's notifications.
#include "live_Main/boundary/VxApp.h"

#include <gtest/gtest.h>
#include <shellapi.h>
#include <windows.h>

namespace {

class RecordingApp : public VxApp {
 public:
  bool InitInstance() override {
    ++inits;
    return initResult;
  }
  bool ExitInstance() override {
    ++exits;
    return VxApp::ExitInstance();
  }
  bool initResult = true;
  int inits = 0;
  int exits = 0;
};

HINSTANCE FakeModule() {
  return reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x10000));
}

TEST(AppNotifications, OnlyTheFirstAttachAndTheLastDetachDoWork) {
  RecordingApp app;
  EXPECT_EQ(&app, VxApp::Current());
  EXPECT_TRUE(app.ProcessAttachDetach(FakeModule(), DLL_PROCESS_ATTACH));
  EXPECT_TRUE(app.ProcessAttachDetach(nullptr, DLL_PROCESS_ATTACH));
  EXPECT_EQ(1, app.inits);
  EXPECT_EQ(2, app.AttachCount());
  EXPECT_EQ(FakeModule(), app.ModuleInstance());

  // Thread notifications change nothing.
  EXPECT_TRUE(app.ProcessAttachDetach(FakeModule(), DLL_THREAD_ATTACH));
  EXPECT_TRUE(app.ProcessAttachDetach(FakeModule(), DLL_THREAD_DETACH));
  EXPECT_EQ(2, app.AttachCount());

  EXPECT_TRUE(app.ProcessAttachDetach(FakeModule(), DLL_PROCESS_DETACH));
  EXPECT_EQ(0, app.exits);
  EXPECT_TRUE(app.ProcessAttachDetach(FakeModule(), DLL_PROCESS_DETACH));
  EXPECT_EQ(1, app.exits);
  EXPECT_EQ(0, app.AttachCount());
}

TEST(AppNotifications, FailedInitRunsExitAndRefusesTheAttach) {
  {
    RecordingApp app;
    app.initResult = false;
    EXPECT_FALSE(app.ProcessAttachDetach(FakeModule(), DLL_PROCESS_ATTACH));
    EXPECT_EQ(1, app.inits);
    EXPECT_EQ(1, app.exits);
  }
  EXPECT_EQ(nullptr, VxApp::Current()) << "cleared when the app is destroyed";
}

TEST(AppNotifications, AttachSplitsTheProcessCommandLine) {
  RecordingApp app;
  ASSERT_TRUE(app.ProcessAttachDetach(FakeModule(), DLL_PROCESS_ATTACH));
  int count = 0;
  LPWSTR* expected = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  ASSERT_NE(nullptr, expected);
  ASSERT_EQ(static_cast<size_t>(count), app.Arguments().size());
  for (int i = 0; i < count; ++i)
    EXPECT_EQ(VxString(expected[i]), app.Arguments()[i]);
  ::LocalFree(expected);
  EXPECT_GE(count, 1);
}

TEST(AppNotifications, ExitUnregistersTheWindowClassesOfTheModule) {
  RecordingApp app;
  HINSTANCE module = ::GetModuleHandleW(nullptr);
  ASSERT_TRUE(app.ProcessAttachDetach(module, DLL_PROCESS_ATTACH));
  WNDCLASSW wc = {};
  wc.lpfnWndProc = ::DefWindowProcW;
  wc.hInstance = module;
  wc.lpszClassName = L"VxAppTestClass";
  const ATOM atom = ::RegisterClassW(&wc);
  ASSERT_NE(0, atom);
  app.AddWindowClass(VxString(L"VxAppTestClass"), atom);
  ASSERT_TRUE(app.ProcessAttachDetach(module, DLL_PROCESS_DETACH));
  WNDCLASSW found = {};
  EXPECT_FALSE(::GetClassInfoW(module, L"VxAppTestClass", &found));
}

}  // namespace
