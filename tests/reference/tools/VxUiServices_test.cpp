// The message pump and the display metrics.
#include <gtest/gtest.h>

#include "live_Main/IVxTools.h"
#include "tests/support/VxToolsTestEnv.h"

namespace {

VxToolsTestEnv& Env() {
  return VxToolsTestEnv::Instance();
}

IVxUiServices* Ui() {
  IVxTools* tools = Env().LoadTools();
  return tools ? tools->GetUiServices(true) : nullptr;
}

int g_received = 0;
LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_APP + 7) {
    g_received += static_cast<int>(wParam);
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

TEST(MessagePump, PumpsOneMessageAtATimeAndStopsAtQuit) {
  IVxUiServices* ui = Ui();
  ASSERT_NE(ui, nullptr);
  IVxMessagePump* pump = ui->GetMessagePump(true);
  ASSERT_NE(pump, nullptr);
  WNDCLASSW wc = {};
  wc.lpfnWndProc = CountingProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"VxPumpTestWindow";
  ::RegisterClassW(&wc);
  HWND window = ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  wc.hInstance, nullptr);
  ASSERT_NE(window, nullptr);
  g_received = 0;
  ASSERT_TRUE(::PostMessageW(window, WM_APP + 7, 1, 0));
  ASSERT_TRUE(::PostMessageW(window, WM_APP + 7, 10, 0));
  EXPECT_TRUE(pump->PumpNext());
  EXPECT_EQ(g_received, 1);
  EXPECT_TRUE(pump->PumpNext());
  EXPECT_EQ(g_received, 11);

  MSG msg = {};
  msg.hwnd = window;
  msg.message = WM_APP + 7;
  msg.wParam = 100;
  pump->Dispatch(&msg);
  EXPECT_EQ(g_received, 111);

  ::PostQuitMessage(3);
  EXPECT_FALSE(pump->PumpNext());
  // The quit message is kept for the enclosing loop.
  ASSERT_TRUE(::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 3u);
  ::DestroyWindow(window);
}

TEST(DisplayMetrics, ScaleOptionOverridesTheScreen) {
  IVxUiServices* ui = Ui();
  ASSERT_NE(ui, nullptr);
  IVxDisplayMetrics* metrics = ui->GetDisplayMetrics(true);
  ASSERT_NE(metrics, nullptr);
  Env().SetOption(L"VXTOOLS_SCALE", L"1.5");
  EXPECT_DOUBLE_EQ(metrics->GetScaleFactor(), 1.5);
  EXPECT_EQ(metrics->GetDpi(), 144);
  EXPECT_EQ(metrics->ScalePixels(100, 0), 150);
  EXPECT_EQ(metrics->ScalePixels(3, 0), 5) << "4.5 rounds away from zero";
  EXPECT_EQ(metrics->ScalePixels(-3, 0), -5);
  Env().SetOption(L"VXTOOLS_SCALE", L"not a number");
  const double screen = metrics->GetScaleFactor();
  EXPECT_GT(screen, 0.0);
  EXPECT_EQ(metrics->GetDpi(), static_cast<int32_t>(screen * 96 + 0.5));
  Env().SetOption(L"VXTOOLS_SCALE", nullptr);
}
