// Message boxes: answered and logged without a screen, or shown for real.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "live_Main/IVxTools.h"
#include "tests/support/VxToolsTestEnv.h"

namespace {

VxToolsTestEnv& Env() {
  return VxToolsTestEnv::Instance();
}

class MessageBoxes : public ::testing::Test {
 protected:
  void SetUp() override {
    IVxTools* tools = Env().LoadTools();
    ASSERT_NE(tools, nullptr);
    boxes_ = tools->GetMessageBoxes(true);
    ASSERT_NE(boxes_, nullptr);
  }
  void TearDown() override {
    Env().SetOption(L"VXTOOLS_HEADLESS", L"1");
    Env().SetOption(L"VXTOOLS_MESSAGEBOX_ANSWER", nullptr);
  }
  int32_t Show(const char16_t* text,
               const char16_t* title,
               uint32_t style,
               VxMessageBoxRequest* out = nullptr) {
    VxMessageBoxRequest request = {};
    request.result = -99;
    boxes_->Prepare(&request, nullptr, text, title, style);
    EXPECT_EQ(request.text, text);
    EXPECT_EQ(request.title, title);
    EXPECT_EQ(request.style, style);
    EXPECT_EQ(request.result, 0);
    const int32_t answer = boxes_->Show(&request);
    EXPECT_EQ(request.result, answer);
    if (out)
      *out = request;
    return answer;
  }
  IVxMessageBoxes* boxes_ = nullptr;
};

}  // namespace

TEST_F(MessageBoxes, HeadlessBoxIsLoggedAndAnsweredWithTheConfiguredButton) {
  Env().SetOption(L"VXTOOLS_MESSAGEBOX_ANSWER", L"cancel");
  const size_t mark = Env().LogLineCount();
  EXPECT_EQ(Show(u"Line one\r\nLine two", u"Critical Error", MB_OKCANCEL | MB_ICONERROR), IDCANCEL);
  const auto lines = Env().FindLogLines("\tVxTools::MessageBox\t", mark);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("Message box (title: \"Critical Error\", text: \"Line one\\r\\nLine two\""
                          ", style: 0x11, answer: 2, headless)"),
            std::string::npos)
      << lines[0];

  Env().SetOption(L"VXTOOLS_MESSAGEBOX_ANSWER", L"7");
  EXPECT_EQ(Show(u"Retry?", u"Question", MB_YESNO), IDNO);
}

TEST_F(MessageBoxes, HeadlessBoxWithoutAnswerTakesTheDefaultButton) {
  EXPECT_EQ(Show(u"t", u"OK only", MB_OK), IDOK);
  EXPECT_EQ(Show(u"t", u"Yes/no", MB_YESNO), IDYES);
  EXPECT_EQ(Show(u"t", u"Yes/no, second default", MB_YESNO | MB_DEFBUTTON2), IDNO);
  EXPECT_EQ(Show(u"t", u"Yes/no/cancel, third", MB_YESNOCANCEL | MB_DEFBUTTON3), IDCANCEL);
  EXPECT_EQ(Show(u"t", u"Abort/retry/ignore", MB_ABORTRETRYIGNORE), IDABORT);
  EXPECT_EQ(Show(u"t", u"Retry/cancel, second", MB_RETRYCANCEL | MB_DEFBUTTON2), IDCANCEL);
}

// A real MessageBoxW window: found on the screen and answered by a click.
TEST_F(MessageBoxes, RealBoxIsShownAndReturnsTheClickedButton) {
  HWND probe = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                                 nullptr);
  if (!probe)
    GTEST_SKIP() << "no display for real windows";
  ::DestroyWindow(probe);

  Env().SetOption(L"VXTOOLS_HEADLESS", nullptr);
  const wchar_t* title = L"VxTools real box test";
  std::atomic<bool> shown{true};
  std::thread clicker([&] {
    HWND box = nullptr;
    for (int i = 0; i < 3000 && !box; ++i) {
      box = ::FindWindowW(nullptr, title);
      if (!box)
        ::Sleep(10);
    }
    shown = box != nullptr;
    if (box)
      ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
  });
  const size_t mark = Env().LogLineCount();
  const int32_t answer = Show(u"Really?", reinterpret_cast<const char16_t*>(title), MB_YESNO);
  clicker.join();
  ASSERT_TRUE(shown) << "no message box window appeared";
  EXPECT_EQ(answer, IDNO);
  EXPECT_EQ(Env().FindLogLines("text: \"Really?\", style: 0x4, answer: 7)", mark).size(), 1u);
}
