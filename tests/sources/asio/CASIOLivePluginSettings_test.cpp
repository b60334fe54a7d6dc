// The ASIO source's settings string (GetInfo 3) and Configure, with test
// drivers registered in the prefix's registry and the settings in the real
// registry through the reference tools library.
#include <gtest/gtest.h>

#include <string>

#include "live_Main/boundary/IVxAudioLive.h"
#include "live_Main/host/VxHostLibraries.h"
#include "testdevices/asio/VxTestAsioControl.h"
#include "tests/sources/asio/VxAsioTestSupport.h"
#include "tests/support/VxToolsTestEnv.h"
#include "tests/ui/VxUiTestHost.h"

namespace {

using namespace vxasiotest;

constexpr int kDriverCount = kVxTestAsioDriverCount;

VxToolsTestEnv& Env() {
  return VxToolsTestEnv::Instance();
}

void StoreSettings(const std::wstring& deviceId, DWORD rate, DWORD channels, DWORD shift) {
  const std::wstring key = L"Zones\\0\\Live ASIO";
  VxStoreSetting(key, L"Device ID", deviceId);
  VxStoreSetting(key, L"Sample Rate", rate);
  VxStoreSetting(key, L"Channels", channels);
  VxStoreSetting(key, L"Channel Shift", shift);
}

// Driver i delivers kTypes[i], so a recording tells which driver made it.
constexpr ASIOSampleType kTypes[] = {ASIOSTInt32LSB, ASIOSTInt16LSB, ASIOSTInt24LSB};

std::wstring EncodedId(int index, bool lower = false) {
  std::wstring id = VxTestAsioClassIdText(index);
  if (lower)
    for (wchar_t& c : id)
      c = static_cast<wchar_t>(::towlower(c));
  return L"%7B" + id.substr(1, 36) + L"%7D";
}

// The stored settings start empty; source_ is an ASIO source made for each test.
class AsioSettings : public AsioSourceTest {
 protected:
  void SetUp() override {
    AsioSourceTest::SetUp();
    Env().DeleteSettings();
    source_ = NewSource(kAsio).release();
    ASSERT_NE(source_, nullptr);
  }
  void TearDown() override {
    VxDeleteSource(source_);
    for (int i = 0; i < kDriverCount; ++i)
      VxTestAsioUnregister(i);
    Env().DeleteSettings();
    AsioSourceTest::TearDown();
  }
  // Registers test drivers 0 to `count` - 1 and no others.
  void RegisterDrivers(int count) {
    for (int i = 0; i < 3; ++i) {
      VxTestAsioConfig config = VxTestAsioConfig::Load(i);
      config.sampleTypes = {kTypes[i]};
      Configure(i, config);
    }
    for (int i = 0; i < kDriverCount; ++i)
      VxTestAsioUnregister(i);
    for (int i = 0; i < count; ++i)
      ASSERT_TRUE(VxTestAsioRegister(i, VxTestAsioDefaultDllPath()));
  }
  std::wstring SettingsString(IVxAudioLive* source = nullptr) {
    wchar_t text[1024] = {};
    EXPECT_EQ((source ? source : source_)->GetInfo(3, text), 1);
    return text;
  }
  IVxAudioLive* source_ = nullptr;
};

// The host hands the string straight to Open, which must open the driver and
// the channels the string names.
TEST_F(AsioSettings, SettingsStringDescribesTheStoredChoiceAndOpensIt) {
  struct Case {
    const char* name;
    int drivers;
    std::wstring storedId;  // empty: nothing stored
    std::wstring expected;
    int driver, channels, shift;  // what Open must capture; driver -1: nothing
  };
  std::wstring lowerThird = VxTestAsioClassIdText(2);
  for (wchar_t& c : lowerThird)
    c = static_cast<wchar_t>(::towlower(c));
  const Case cases[] = {
      {"no driver", 0, L"", L"deviceindex=-1&deviceid=&samplerate=44100&channels=2&channelshift=0",
       -1, 0, 0},
      {"one driver, nothing stored", 1, L"",
       L"deviceindex=0&deviceid=" + EncodedId(0) + L"&samplerate=44100&channels=2&channelshift=0",
       0, 2, 0},
      {"several drivers, stored in other letter case", 3, lowerThird,
       L"deviceindex=2&deviceid=" + EncodedId(2, true) +
           L"&samplerate=96000&channels=6&channelshift=2",
       2, 6, 2},
      {"legacy list index", 3, L"1",
       L"deviceindex=1&deviceid=" + EncodedId(1) + L"&samplerate=96000&channels=6&channelshift=2",
       1, 6, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RegisterDrivers(c.drivers);
    Env().DeleteSettings();
    if (!c.storedId.empty())
      StoreSettings(c.storedId, 96000, 6, 2);
    const std::wstring text = SettingsString();
    EXPECT_EQ(text, c.expected);
    VxTestSink sink =
        CheckingSink(c.driver < 0 ? ASIOSTInt32LSB : kTypes[c.driver], c.shift, c.channels);
    EXPECT_TRUE(RunSource(kAsio, reinterpret_cast<const char16_t*>(text.c_str()), sink, Writes(4),
                          c.driver < 0 ? -1 : 0));
    EXPECT_EQ(sink.mismatches, 0u);
  }
}

// The host asks for the settings and shows the dialog while sources stream:
// through a streaming source, and through an idle one while sources in other
// slots stream. Cancel stores nothing, OK the chosen driver; both streams go
// on byte for byte and keep their drivers.
TEST_F(AsioSettings, DialogWhileStreamingStoresTheChoiceAndLeavesTheStreamsAlone) {
  RegisterDrivers(2);
  StoreSettings(VxTestAsioClassIdText(1), 48000, 2, 0);
  VxTestSink first = CheckingSink(kTypes[0], 0, 2);
  VxTestSink second = CheckingSink(kTypes[1], 4, 4);
  SourcePtr streaming[] = {NewSource(kAsio), NewSource(kAsio)};
  ASSERT_EQ(streaming[0]->Open(Parameters(0, 48000, 2, 0).c_str(), &first), 0);
  ASSERT_EQ(streaming[1]->Open(Parameters(1, 48000, 4, 4).c_str(), &second), 0);
  VxUiTestHost host;
  const size_t logStart = Env().LogLineCount();
  EXPECT_EQ(source_->Configure(1, host.Handle()), -1);
  EXPECT_TRUE(Env().FindLogLines("AdoptPopupWindow", logStart).empty()) << "nothing was shown";
  const struct {
    IVxAudioLive* asked;
    UINT button;
    int stored;  // the driver stored afterwards
  } steps[] = {
      {streaming[0].get(), IDCANCEL, 1}, {source_, IDOK, 0}, {streaming[1].get(), IDCANCEL, 0}};
  int writes = 8;
  for (const auto& step : steps) {
    std::wstring title;
    host.Post([&] {
      HWND popup = VxFindPopup();
      ASSERT_NE(popup, nullptr);
      title = VxWindowText(popup);
      ::SendMessageW(VxFindChildrenByClass(popup, L"ComboBox").at(0), CB_SETCURSEL, 0, 0);
      ::SendMessageW(::GetDlgItem(popup, static_cast<int>(step.button)), BM_CLICK, 0, 0);
    });
    EXPECT_EQ(step.asked->Configure(0, host.Handle()), 0);
    EXPECT_EQ(title, L"ASIO Line-in");
    EXPECT_EQ(SettingsString(step.asked)
                  .find(L"deviceindex=" + std::to_wstring(step.stored) + L"&deviceid=" +
                        EncodedId(step.stored) + L"&samplerate=48000"),
              0u);
    writes += 8;
    ASSERT_TRUE(first.WaitWrites(writes));
    ASSERT_TRUE(second.WaitWrites(writes));
  }
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(static_cast<CASIOLivePlugin*>(streaming[i].get())->Wrapper()->IsLoaded());
    EXPECT_TRUE(VxTestAsioFind(CallLog(i), "destroyed").empty());
    streaming[i].reset();
    ExpectCleanDriverLog(CallLog(i));
  }
  EXPECT_EQ(first.mismatches, 0u);
  EXPECT_EQ(second.mismatches, 0u);
}

}  // namespace
