// The ASIO source's settings string (GetInfo 3) and Configure, with test
// drivers registered in the prefix's registry and the settings in the real
// registry through the reference tools library.
#include <gtest/gtest.h>

#include <string>

#include "live_Main/boundary/IVxAudioLive.h"
#include "live_Main/host/VxHostLibraries.h"
#include "testdevices/asio/VxTestAsioControl.h"
#include "tests/support/VxToolsTestEnv.h"
#include "tests/ui/VxUiTestHost.h"

namespace {

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

// Registers test drivers 0 to `count` - 1 and no others.
void RegisterDrivers(int count) {
  for (int i = 0; i < kDriverCount; ++i)
    VxTestAsioUnregister(i);
  for (int i = 0; i < count; ++i)
    ASSERT_TRUE(VxTestAsioRegister(i, VxTestAsioDefaultDllPath()));
}

std::wstring EncodedId(int index, bool lower = false) {
  std::wstring id = VxTestAsioClassIdText(index);
  if (lower)
    for (wchar_t& c : id)
      c = static_cast<wchar_t>(::towlower(c));
  return L"%7B" + id.substr(1, 36) + L"%7D";
}

class AsioSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    Env().DeleteSettings();
    ASSERT_TRUE(VxHostLibraries::Instance().LoadTools());
    ASSERT_EQ(GetLivePlugin(0, &source_), 0);
    ASSERT_NE(source_, nullptr);
  }
  void TearDown() override {
    VxDeleteSource(source_);
    for (int i = 0; i < kDriverCount; ++i)
      VxTestAsioUnregister(i);
    Env().DeleteSettings();
  }
  std::wstring SettingsString() {
    wchar_t text[1024] = {};
    EXPECT_EQ(source_->GetInfo(3, text), 1);
    return text;
  }
  IVxAudioLive* source_ = nullptr;
};

TEST_F(AsioSettings, SettingsStringDescribesTheStoredChoice) {
  struct Case {
    const char* name;
    int drivers;
    std::wstring storedId;  // empty: nothing stored
    std::wstring expected;
  };
  std::wstring lowerThird = VxTestAsioClassIdText(2);
  for (wchar_t& c : lowerThird)
    c = static_cast<wchar_t>(::towlower(c));
  const Case cases[] = {
      {"no driver", 0, L"", L"deviceindex=-1&deviceid=&samplerate=44100&channels=2&channelshift=0"},
      {"one driver, nothing stored", 1, L"",
       L"deviceindex=0&deviceid=" + EncodedId(0) + L"&samplerate=44100&channels=2&channelshift=0"},
      {"several drivers, stored in other letter case", 3, lowerThird,
       L"deviceindex=2&deviceid=" + EncodedId(2, true) +
           L"&samplerate=96000&channels=6&channelshift=2"},
      {"legacy list index", 3, L"1",
       L"deviceindex=1&deviceid=" + EncodedId(1) + L"&samplerate=96000&channels=6&channelshift=2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RegisterDrivers(c.drivers);
    Env().DeleteSettings();
    if (!c.storedId.empty())
      StoreSettings(c.storedId, 96000, 6, 2);
    EXPECT_EQ(SettingsString(), c.expected);
  }
}

TEST_F(AsioSettings, ConfigureShowsTheDialogOnlyForCodeZero) {
  RegisterDrivers(2);
  VxUiTestHost host;
  const size_t logStart = Env().LogLineCount();
  EXPECT_EQ(source_->Configure(1, host.Handle()), -1);
  EXPECT_TRUE(Env().FindLogLines("AdoptPopupWindow", logStart).empty()) << "nothing was shown";

  StoreSettings(VxTestAsioClassIdText(0), 48000, 2, 0);
  for (const UINT button : {IDCANCEL, IDOK}) {
    std::wstring title, firstDriver;
    host.Post([&] {
      HWND popup = VxFindPopup();
      ASSERT_NE(popup, nullptr);
      title = VxWindowText(popup);
      HWND devices = VxFindChildrenByClass(popup, L"ComboBox").at(0);
      wchar_t item[128] = {};
      ::SendMessageW(devices, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(item));
      firstDriver = item;
      ::SendMessageW(devices, CB_SETCURSEL, 1, 0);
      ::SendMessageW(::GetDlgItem(popup, static_cast<int>(button)), BM_CLICK, 0, 0);
    });
    EXPECT_EQ(source_->Configure(0, host.Handle()), 0) << "either way";
    EXPECT_EQ(title, L"ASIO Line-in");
    EXPECT_EQ(firstDriver, L"VxTestAsio 1");
    EXPECT_TRUE(::IsWindowEnabled(host.Handle()));
    const std::wstring expectedDriver = button == IDOK ? EncodedId(1) : EncodedId(0);
    EXPECT_NE(SettingsString().find(L"&deviceid=" + expectedDriver + L"&samplerate=48000"),
              std::wstring::npos)
        << "OK stores the chosen driver, Cancel nothing";
  }
}

}  // namespace
