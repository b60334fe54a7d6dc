// The popup frame as real windows: modal loop, owner, keyboard, ending and
// the bottom-row layout at two display scales, with the reference tools
// library as the host (translation, pump, metrics, window hand-over).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "live_Main/host/VxHostLibraries.h"
#include "tests/support/VxToolsTestEnv.h"
#include "tests/ui/VxUiTestHost.h"
#include "ui/VxEditCtrl.h"
#include "ui/VxFixedSizeOkCancelPopupWnd.h"

namespace {

VxToolsTestEnv& Env() {
  return VxToolsTestEnv::Instance();
}

// A frame with one labelled number box, 200 pixels wide.
class TestPopup : public VxFixedSizeOkCancelPopupWnd {
 public:
  VxString GetTitle() const override { return VxString(u"Test popup"); }
  int GetFixedWidth() const override { return 200; }
  void CreateControls(VxControlsWndFixedSizeLayout& layout) override {
    box_ = AddControl<VxEditCtrl>(NextControlId(), VxString(u"12"), true, 3);
    box_->AttachLabel(AddControl<VxStatic>(NextControlId(), VxString(u"Number:")));
    layout.SetLabelColumnFor({box_.Get()}, 8);
    layout.Place(*box_);
  }
  VxTypedWndPtr<VxEditCtrl> box_;
};

class PopupFrame : public ::testing::Test {
 protected:
  void SetUp() override {
    Env();
    ASSERT_TRUE(VxHostLibraries::Instance().LoadTools());
  }
  void TearDown() override {
    Env().SetOption(L"VXTOOLS_SCALE", nullptr);
    Env().SetOption(L"VXTOOLS_PSEUDO_TRANSLATE", nullptr);
  }
};

void SendKey(HWND window, WPARAM key) {
  ::SendMessageW(window, WM_KEYDOWN, key, 0);
}

TEST_F(PopupFrame, EveryWayOfEndingGivesItsResultAndReleasesTheOwner) {
  struct Case {
    const char* name;
    bool ownerDisabledBefore;
    bool noCancel;
    void (*end)(HWND popup);
    int32_t result;
  };
  const Case cases[] = {
      {"OK button", false, false,
       [](HWND p) { ::SendMessageW(::GetDlgItem(p, 1), BM_CLICK, 0, 0); }, 1},
      {"Cancel button", false, false,
       [](HWND p) { ::SendMessageW(::GetDlgItem(p, 2), BM_CLICK, 0, 0); }, 2},
      {"window closed", false, false, [](HWND p) { ::SendMessageW(p, WM_CLOSE, 0, 0); }, 2},
      {"Escape in the box", false, false, [](HWND) { SendKey(::GetFocus(), VK_ESCAPE); }, 2},
      {"Enter in the box", false, false, [](HWND) { SendKey(::GetFocus(), VK_RETURN); }, 1},
      {"Enter on Cancel", false, false,
       [](HWND p) {
         ::SetFocus(::GetDlgItem(p, 2));
         SendKey(::GetFocus(), VK_RETURN);
       },
       2},
      {"closed without Cancel", false, true, [](HWND p) { ::SendMessageW(p, WM_CLOSE, 0, 0); }, 1},
      {"owner already disabled", true, false,
       [](HWND p) { ::SendMessageW(::GetDlgItem(p, 1), BM_CLICK, 0, 0); }, 1},
  };
  // One frame object shown again and again builds the same controls each time.
  TestPopup popup;
  int boxId = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VxUiTestHost host;
    ::EnableWindow(host.Handle(), !c.ownerDisabledBefore);
    popup.SetNoCancel(c.noCancel);
    bool ownerEnabledInLoop = true;
    bool inLoop = false;
    bool boxFocused = false;
    host.Post([&] {
      HWND window = VxFindPopup();
      ASSERT_NE(window, nullptr);
      ownerEnabledInLoop = ::IsWindowEnabled(host.Handle());
      inLoop = popup.InModalLoop();
      boxFocused = ::GetFocus() == popup.box_->Handle();
      boxId = boxId ? boxId : popup.box_->Id();
      EXPECT_EQ(popup.box_->Id(), boxId);
      c.end(window);
    });
    EXPECT_EQ(popup.DoModal(host.Handle()), c.result);
    EXPECT_EQ(host.CallsRun(), 1) << "the host's window was served during the loop";
    EXPECT_FALSE(ownerEnabledInLoop);
    EXPECT_TRUE(inLoop);
    EXPECT_TRUE(boxFocused) << "the first control has the focus";
    EXPECT_EQ(::IsWindowEnabled(host.Handle()) != FALSE, !c.ownerDisabledBefore);
    EXPECT_FALSE(popup.InModalLoop());
    EXPECT_EQ(VxFindPopup(), nullptr);
  }
}

TEST_F(PopupFrame, TabAndShiftTabCycleThroughTheControls) {
  VxUiTestHost host;
  TestPopup popup;
  std::vector<int> forward, backward;  // control ids
  host.Post([&] {
    HWND window = VxFindPopup();
    for (int i = 0; i < 3; ++i) {
      SendKey(::GetFocus(), VK_TAB);
      forward.push_back(::GetDlgCtrlID(::GetFocus()));
    }
    BYTE keys[256] = {};
    ::GetKeyboardState(keys);
    keys[VK_SHIFT] = 0x80;
    ::SetKeyboardState(keys);
    SendKey(::GetFocus(), VK_TAB);
    backward.push_back(::GetDlgCtrlID(::GetFocus()));
    keys[VK_SHIFT] = 0;
    ::SetKeyboardState(keys);
    ::SendMessageW(::GetDlgItem(window, 2), BM_CLICK, 0, 0);
  });
  EXPECT_EQ(popup.DoModal(host.Handle()), 2);
  // Creation order: the box, then OK, then Cancel; after Cancel comes the box.
  EXPECT_EQ(forward, (std::vector<int>{1, 2, popup.box_->Id()}));
  EXPECT_EQ(backward, std::vector<int>{2});
}

TEST_F(PopupFrame, BottomRowAndMarginsFollowTheDisplayScale) {
  Env().SetOption(L"VXTOOLS_PSEUDO_TRANSLATE", L"1");
  struct Case {
    const wchar_t* scale;
    double factor;
  };
  std::vector<LONG> fontHeights;
  for (const Case& c : {Case{L"1.0", 1.0}, Case{L"1.5", 1.5}}) {
    SCOPED_TRACE(testing::Message() << "scale " << c.factor);
    Env().SetOption(L"VXTOOLS_SCALE", c.scale);
    auto px = [&](int v) { return static_cast<LONG>(v * c.factor + 0.5); };
    const size_t logStart = Env().LogLineCount();
    VxUiTestHost host;
    TestPopup popup;
    popup.SetButtonText(2, VxString(u"Discard"));
    host.Post([&] {
      HWND window = VxFindPopup();
      ASSERT_NE(window, nullptr);
      const LONG style = ::GetWindowLongW(window, GWL_STYLE);
      EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN),
                WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN);
      EXPECT_EQ(style & (WS_THICKFRAME | WS_MAXIMIZEBOX | WS_CHILD), 0);

      RECT client{};
      ::GetClientRect(window, &client);
      EXPECT_EQ(client.right, px(200) + 2 * px(8));
      HWND ok = ::GetDlgItem(window, 1);
      HWND cancel = ::GetDlgItem(window, 2);
      EXPECT_EQ(VxWindowText(ok), L"[[OK]]");
      EXPECT_EQ(VxWindowText(cancel), L"Discard") << "a custom text replaces the default";
      const RECT okRect = VxRectIn(window, ok), cancelRect = VxRectIn(window, cancel);
      EXPECT_EQ(cancelRect.right, client.right - px(8));
      EXPECT_EQ(cancelRect.bottom, client.bottom - px(8));
      EXPECT_EQ(cancelRect.left - okRect.right, px(8));
      EXPECT_EQ(okRect.right - okRect.left, cancelRect.right - cancelRect.left);
      EXPECT_GE(okRect.right - okRect.left, px(75));

      const auto statics = VxFindChildrenByClass(window, L"Static");
      HWND separator = nullptr;
      for (HWND s : statics)
        if ((::GetWindowLongW(s, GWL_STYLE) & SS_TYPEMASK) == SS_ETCHEDHORZ)
          separator = s;
      ASSERT_NE(separator, nullptr);
      const RECT line = VxRectIn(window, separator);
      EXPECT_EQ(line.bottom - line.top, px(2));
      EXPECT_EQ(okRect.top - line.bottom, px(8));
      EXPECT_EQ(line.left, px(8));
      EXPECT_EQ(line.right, client.right - px(8));
      const RECT box = VxRectIn(window, popup.box_->Handle());
      EXPECT_EQ(box.top, px(8));
      EXPECT_EQ(line.top - box.bottom, px(8));
      // The controls share the frame's font, sized for the host's scale.
      LOGFONTW font{};
      const auto okFont = reinterpret_cast<HFONT>(::SendMessageW(ok, WM_GETFONT, 0, 0));
      ASSERT_TRUE(okFont && ::GetObjectW(okFont, sizeof font, &font));
      fontHeights.push_back(std::abs(font.lfHeight));
      ::SendMessageW(cancel, BM_CLICK, 0, 0);
    });
    EXPECT_EQ(popup.DoModal(host.Handle()), 2);
    EXPECT_EQ(Env().FindLogLines("AdoptPopupWindow", logStart).size(), 1u)
        << "the new window is handed to the host";
  }
  ASSERT_EQ(fontHeights.size(), 2u);
  EXPECT_GT(fontHeights[1], fontHeights[0]);
}

TEST_F(PopupFrame, CentresOnTheOwnerOrWithoutOneOnTheWorkArea) {
  // An owner without an area of its own counts as no owner.
  enum Owner { kOwner, kEmptyOwner, kNoOwner };
  for (const Owner kind : {kOwner, kEmptyOwner, kNoOwner}) {
    SCOPED_TRACE(kind);
    VxUiTestHost host;
    TestPopup popup;
    HWND owner = host.Handle();
    VxWindow empty;
    if (kind == kEmptyOwner) {
      empty.reset(::CreateWindowExW(0, L"STATIC", nullptr, WS_POPUP | WS_VISIBLE, 300, 300, 0, 0,
                                    nullptr, nullptr, nullptr, nullptr));
      owner = empty.get();
    }
    RECT area{}, placed{};
    if (kind == kOwner)
      ::GetWindowRect(owner, &area);
    else
      ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    host.Post([&] {
      HWND window = VxFindPopup();
      ::GetWindowRect(window, &placed);
      ::SendMessageW(window, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(popup.DoModal(kind == kNoOwner ? nullptr : owner), 2);
    EXPECT_NEAR((placed.left + placed.right) / 2, (area.left + area.right) / 2, 1);
    EXPECT_NEAR((placed.top + placed.bottom) / 2, (area.top + area.bottom) / 2, 1);
    EXPECT_TRUE(::IsWindowEnabled(owner));
  }
}

// A frame that keeps its placement under "Properties".
class PlacedPopup final : public TestPopup {
 public:
  VxString GetPlacementName() const override { return VxString(u"Test Placement"); }
};

// A stored record of at most 44 bytes places the window, its points
// multiplied by the rounded display scale (2 at 1.5) when flagged as
// unscaled; a fixed-size window keeps its own size at the stored corner; a
// longer record is ignored and the window centred. Ending stores the
// placement back divided by 2 and flagged. The window is shown normally.
TEST_F(PopupFrame, StoredPlacementIsScaledAppliedAndStoredBack) {
  Env().SetOption(L"VXTOOLS_SCALE", L"1.5");
  const std::wstring key = Env().SettingsRegistryPath() + L"\\Properties";
  const struct {
    const char* name;
    UINT flags;
    DWORD size;
    POINT corner;  // expected top-left; {-1, -1}: centred on the owner
  } cases[] = {
      {"unscaled points", 0x100, 44, {120, 100}},
      {"device points", 0, 44, {60, 50}},
      {"oversized record", 0x100, 48, {-1, -1}},
  };
  SIZE ownSize{};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    uint8_t bytes[48] = {};
    WINDOWPLACEMENT stored{};
    stored.length = sizeof stored;
    stored.flags = c.flags;
    stored.showCmd = SW_SHOWMINIMIZED;  // never applied: showing is the frame's business
    stored.rcNormalPosition = RECT{60, 50, 61, 51};
    std::memcpy(bytes, &stored, sizeof stored);
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Test Placement", REG_BINARY,
                                bytes, c.size),
              ERROR_SUCCESS);
    VxUiTestHost host;
    PlacedPopup popup;
    EXPECT_EQ(popup.GetShowCommand(), SW_SHOW);
    RECT placed{}, owner{};
    ::GetWindowRect(host.Handle(), &owner);
    bool visible = false, iconic = true;
    host.Post([&] {
      HWND window = VxFindPopup();
      ::GetWindowRect(window, &placed);
      visible = ::IsWindowVisible(window);
      iconic = ::IsIconic(window);
      ::SendMessageW(::GetDlgItem(window, IDOK), BM_CLICK, 0, 0);
    });
    EXPECT_EQ(popup.DoModal(host.Handle()), 1);
    EXPECT_TRUE(visible);
    EXPECT_FALSE(iconic);
    const SIZE size{placed.right - placed.left, placed.bottom - placed.top};
    if (c.corner.x < 0) {
      EXPECT_NEAR((placed.left + placed.right) / 2, (owner.left + owner.right) / 2, 1);
      EXPECT_EQ(size.cx, ownSize.cx);
      EXPECT_EQ(size.cy, ownSize.cy);
    } else {
      EXPECT_EQ(placed.left, c.corner.x);
      EXPECT_EQ(placed.top, c.corner.y);
      EXPECT_GT(size.cx, 200) << "its own size, not the stored 1 by 1";
      ownSize = size;
    }
    uint8_t backBytes[64] = {};
    DWORD backSize = sizeof backBytes;
    ASSERT_EQ(::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), L"Test Placement", RRF_RT_REG_BINARY,
                             nullptr, backBytes, &backSize),
              ERROR_SUCCESS);
    EXPECT_EQ(backSize, 44u);
    WINDOWPLACEMENT back{};
    std::memcpy(&back, backBytes, sizeof back);
    EXPECT_TRUE(back.flags & 0x100);
    EXPECT_EQ(back.rcNormalPosition.left, placed.left / 2);
    EXPECT_EQ(back.rcNormalPosition.right, placed.right / 2);
  }
}

}  // namespace
