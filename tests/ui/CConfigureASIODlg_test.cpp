// The ASIO settings dialog against the real registry (through the reference
// tools library) and as a real window: reading and normalising the stored
// settings, what OK stores and in which order, what the user sees translated,
// the fixed width at two display scales, and a host with nothing stored
// keeping what OK stores (and nothing on Cancel or close) for the next Open.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "live_Main/host/VxHostLibraries.h"
#include "tests/sources/asio/VxAsioTestSupport.h"
#include "tests/support/VxToolsTestEnv.h"
#include "tests/ui/VxUiTestHost.h"
#include "ui/CConfigureASIODlg.h"

namespace {

constexpr wchar_t kPrimary[] = L"Zones\\0\\Live ASIO";
constexpr wchar_t kLegacy[] = L"Plugins\\Live\\ASIO";
const VxStringArray kNames = {VxString(u"Alpha Card"), VxString(u"Beta Box"),
                              VxString(u"Gamma USB")};
const VxStringArray kIds = {VxString(u"{11111111-1111-1111-1111-11111111AAAA}"),
                            VxString(u"{22222222-2222-2222-2222-22222222BBBB}"),
                            VxString(u"{33333333-3333-3333-3333-33333333CCCC}")};
const std::wstring kHelp =
    L"Channel offset determines which outputs to use on the selected device.  Try different values "
    L"(0, 2, 4, etc.) until the audio is routed to the desired output.";

VxToolsTestEnv& Env() {
  return VxToolsTestEnv::Instance();
}

class AsioDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    Env().DeleteSettings();
    ASSERT_TRUE(VxHostLibraries::Instance().LoadTools());
  }
  void TearDown() override {
    Env().SetOption(L"VXTOOLS_SCALE", nullptr);
    Env().SetOption(L"VXTOOLS_PSEUDO_TRANSLATE", nullptr);
    Env().SetOption(L"VXTOOLS_LOG_SETTINGS", nullptr);
    Env().DeleteSettings();
  }
};

TEST_F(AsioDialog, ConstructionReadsAndNormalisesTheStoredSettings) {
  struct Case {
    const char* name;
    const wchar_t* path;  // where "Device ID" is stored; null: nowhere
    const wchar_t* stored;
    VxStringArray ids;
    VxString expectedId;
    int32_t expectedIndex;
  };
  const VxString lower = VxString(u"{22222222-2222-2222-2222-22222222bbbb}");
  const Case cases[] = {
      {"nothing stored", nullptr, nullptr, kIds, kIds[0], 0},
      {"legacy index in range", kPrimary, L"2", kIds, kIds[2], 2},
      {"legacy index out of range", kPrimary, L"7", kIds, kIds[0], 0},
      {"negative legacy index", kPrimary, L"-1", kIds, kIds[0], 0},
      {"legacy index with a comma", kPrimary, L"1,5", kIds, kIds[1], 1},
      {"a minus inside is no index", kPrimary, L"1-2", kIds, kIds[0], 0},
      {"driver no longer installed", kPrimary, L"{99999999-9999-9999-9999-999999999999}", kIds,
       kIds[0], 0},
      {"other letter case kept as stored", kPrimary, lower.Wide(), kIds, lower, 1},
      {"older location only", kLegacy, kIds[1].Wide(), kIds, kIds[1], 1},
      {"no drivers", kPrimary, kIds[1].Wide(), {}, VxString(), -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Env().DeleteSettings();
    if (c.path)
      VxStoreSetting(c.path, L"Device ID", c.stored);
    CConfigureASIODlg dialog(0, c.ids.empty() ? VxStringArray() : kNames, c.ids);
    EXPECT_EQ(dialog.DeviceId(), c.expectedId);
    EXPECT_EQ(dialog.DeviceIndex(), c.expectedIndex);
    EXPECT_EQ(dialog.Handle(), nullptr) << "reading makes no window";
  }

  // Defaults, values of both locations (the primary wins) and another zone.
  Env().DeleteSettings();
  VxStoreSetting(kLegacy, L"Sample Rate", 48000);
  VxStoreSetting(kLegacy, L"Channels", 4);
  VxStoreSetting(kPrimary, L"Sample Rate", 96000);
  VxStoreSetting(L"Zones\\3\\Live ASIO", L"Channel Shift", 6);
  const CConfigureASIODlg zone0(0, kNames, kIds);
  EXPECT_EQ(zone0.SampleRate(), 96000);
  EXPECT_EQ(zone0.Channels(), 4);
  EXPECT_EQ(zone0.ChannelShift(), 0);
  const CConfigureASIODlg zone3(3, kNames, kIds);
  EXPECT_EQ(zone3.ChannelShift(), 6);
  EXPECT_EQ(zone3.SampleRate(), 44100) << "the legacy key is read with the zone's own name";
}

// Runs the dialog over a host window; `drive` gets the popup window inside the
// modal loop and must end it.
int32_t RunDialog(CConfigureASIODlg& dialog, const std::function<void(HWND)>& drive) {
  VxUiTestHost host;
  host.Post([&] {
    HWND popup = VxFindPopup();
    ASSERT_NE(popup, nullptr);
    drive(popup);
  });
  return dialog.DoModal(host.Handle());
}

HWND Combo(HWND popup, size_t index) {
  return VxFindChildrenByClass(popup, L"ComboBox").at(index);
}
HWND Edit(HWND popup, size_t index) {
  return VxFindChildrenByClass(popup, L"Edit").at(index);
}

void Click(HWND popup, int id) {
  ::SendMessageW(::GetDlgItem(popup, id), BM_CLICK, 0, 0);
}

// The four settings writes of OK, in their order.
std::vector<std::string> Writes(const std::string& id, int rate, int channels, int shift) {
  const std::string key = " (key: Zones\\0\\Live ASIO, name: ";
  return {"WriteString" + key + "Device ID, value: \"" + id + "\")",
          "WriteInt" + key + "Sample Rate, value: " + std::to_string(rate) + ")",
          "WriteInt" + key + "Channels, value: " + std::to_string(channels) + ")",
          "WriteInt" + key + "Channel Shift, value: " + std::to_string(shift) + ")"};
}

TEST_F(AsioDialog, OkStoresWhatTheControlsHoldInOrder) {
  Env().SetOption(L"VXTOOLS_LOG_SETTINGS", L"1");
  struct Case {
    const char* name;
    const wchar_t* storedId;
    DWORD storedRate;
    void (*drive)(HWND);
    int32_t result;
    std::vector<std::string> writes;
    bool noDrivers = false;
  };
  const Case cases[] = {
      {"user choices", kIds[0].Wide(), 44100,
       [](HWND p) {
         ::SendMessageW(Combo(p, 0), CB_SETCURSEL, 2, 0);
         ::SendMessageW(Combo(p, 1), CB_SETCURSEL, 3, 0);
         ::SendMessageW(Edit(p, 0), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"8"));
         ::SendMessageW(Edit(p, 1), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"4"));
         Click(p, IDOK);
       },
       1, Writes(kIds[2].ToUtf8(), 96000, 8, 4)},
      {"legacy index, cleared box, unlisted rate", L"2", 32000,
       [](HWND p) {
         ::SendMessageW(Edit(p, 0), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
         ::SendMessageW(::GetFocus(), WM_KEYDOWN, VK_RETURN, 0);
       },
       1, Writes(kIds[2].ToUtf8(), 0, 0, 0)},
      {"case-only difference selects no driver", L"{22222222-2222-2222-2222-22222222bbbb}", 48000,
       [](HWND p) { Click(p, IDOK); }, 1, Writes("", 48000, 2, 0)},
      {"no drivers", kIds[1].Wide(), 48000, [](HWND p) { Click(p, IDOK); }, 1,
       Writes("", 48000, 2, 0), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Env().DeleteSettings();
    VxStoreSetting(kPrimary, L"Device ID", c.storedId);
    VxStoreSetting(kPrimary, L"Sample Rate", c.storedRate);
    CConfigureASIODlg dialog(0, c.noDrivers ? VxStringArray() : kNames,
                             c.noDrivers ? VxStringArray() : kIds);
    const size_t logStart = Env().LogLineCount();
    EXPECT_EQ(RunDialog(dialog, c.drive), c.result);
    const auto lines = Env().FindLogLines("VxTools::Settings", logStart);
    std::vector<std::string> writes;
    for (const auto& line : lines) {
      VxLogEntry entry;
      if (VxParseLogLine(line, entry) && entry.message.rfind("Write", 0) == 0)
        writes.push_back(entry.message);
    }
    EXPECT_EQ(writes, c.writes);
  }
}

TEST_F(AsioDialog, UserTextsAreTranslatedAndDataIsNot) {
  Env().SetOption(L"VXTOOLS_PSEUDO_TRANSLATE", L"1");
  for (const bool withDrivers : {true, false}) {
    SCOPED_TRACE(withDrivers ? "drivers" : "no drivers");
    CConfigureASIODlg dialog(0, withDrivers ? kNames : VxStringArray(),
                             withDrivers ? kIds : VxStringArray());
    RunDialog(dialog, [&](HWND p) {
      EXPECT_EQ(VxWindowText(p), L"[[ASIO Line-in]]");
      for (const wchar_t* label : {L"[[Device:]]", L"[[Sample rate:]]", L"[[Channels:]]",
                                   L"[[Channel offset:]]", L"[[OK]]", L"[[Cancel]]"})
        EXPECT_NE(VxFindChildByText(p, label), nullptr) << label;
      EXPECT_NE(VxFindChildByText(p, L"[[" + kHelp + L"]]"), nullptr);
      HWND devices = Combo(p, 0);
      wchar_t item[128] = {};
      ::SendMessageW(devices, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(item));
      EXPECT_STREQ(item, withDrivers ? L"Alpha Card" : L"<no ASIO devices detected>");
      EXPECT_EQ(::IsWindowEnabled(devices) != FALSE, withDrivers);
      EXPECT_EQ(::SendMessageW(devices, CB_GETCURSEL, 0, 0), 0);
      HWND rates = Combo(p, 1);
      EXPECT_EQ(::SendMessageW(rates, CB_GETCOUNT, 0, 0), 6);
      ::SendMessageW(rates, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(item));
      EXPECT_STREQ(item, L"44.1 [[kHz]]");
      ::SendMessageW(rates, CB_GETLBTEXT, 5, reinterpret_cast<LPARAM>(item));
      EXPECT_STREQ(item, L"192 [[kHz]]");
      EXPECT_EQ(::SendMessageW(rates, CB_GETCURSEL, 0, 0), 0);
      EXPECT_EQ(VxWindowText(Edit(p, 0)), L"2");
      EXPECT_EQ(VxWindowText(Edit(p, 1)), L"0");
      ::SendMessageW(p, WM_CLOSE, 0, 0);
    });
  }
}

TEST_F(AsioDialog, FixedWidthLabelColumnAndHelpTextAtTwoScales) {
  for (const double factor : {1.0, 1.5}) {
    SCOPED_TRACE(testing::Message() << "scale " << factor);
    Env().SetOption(L"VXTOOLS_SCALE", factor == 1.0 ? L"1.0" : L"1.5");
    auto px = [&](int v) { return static_cast<LONG>(v * factor + 0.5); };
    CConfigureASIODlg dialog(0, kNames, kIds);
    RunDialog(dialog, [&](HWND p) {
      RECT client{};
      ::GetClientRect(p, &client);
      EXPECT_EQ(client.right, px(280) + 2 * px(8));
      const RECT device = VxRectIn(p, Combo(p, 0)), rate = VxRectIn(p, Combo(p, 1));
      const RECT channels = VxRectIn(p, Edit(p, 0)), offset = VxRectIn(p, Edit(p, 1));
      EXPECT_EQ(device.top, px(8));
      EXPECT_EQ(device.right, client.right - px(8)) << "lists span the full width";
      EXPECT_EQ(rate.right, device.right);
      for (const RECT* r : {&rate, &channels, &offset})
        EXPECT_EQ(r->left, device.left) << "one label column";
      EXPECT_EQ(rate.top - device.bottom, px(8));
      EXPECT_EQ(channels.top - rate.bottom, px(8));
      EXPECT_EQ(offset.top - channels.bottom, px(8));
      EXPECT_LT(channels.right - channels.left, (device.right - device.left) / 2)
          << "number boxes take their own width";
      const RECT label = VxRectIn(p, VxFindChildByText(p, L"Channel offset:"));
      EXPECT_EQ(label.left, px(8));
      EXPECT_LE(label.right + px(8), device.left);
      const RECT help = VxRectIn(p, VxFindChildByText(p, kHelp));
      EXPECT_EQ(help.left, px(8));
      EXPECT_EQ(help.right, client.right - px(8));
      EXPECT_EQ(help.top - offset.bottom, px(8));
      EXPECT_GT(help.bottom - help.top, 2 * (label.bottom - label.top))
          << "the help text wraps onto several lines";
      const RECT ok = VxRectIn(p, ::GetDlgItem(p, 1));
      EXPECT_LT(help.bottom, ok.top - px(8)) << "the dialog grew to hold the help text";
      ::SendMessageW(p, WM_CLOSE, 0, 0);
    });
  }
}

// A host with nothing stored yet, as a new user has it: the dialog shown
// through the ASIO source's Configure keeps what OK confirms (Cancel and
// closing store nothing, not even the key), GetInfo(3) describes it and the
// next Open with that string records with it.
TEST_F(AsioDialog, FreshHostKeepsTheChoiceForTheNextOpen) {
  ASSERT_TRUE(VxTestAsioRegister(0, VxTestAsioDefaultDllPath()));
  ASSERT_HRESULT_SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  vxtest::SourcePtr source = vxtest::NewSource(vxtest::kAsio);
  ASSERT_TRUE(source);
  VxUiTestHost host;
  for (const UINT ending : {UINT{IDCANCEL}, UINT{WM_CLOSE}, UINT{IDOK}}) {
    host.Post([&] {
      HWND p = VxFindPopup();
      ASSERT_NE(p, nullptr);
      ::SendMessageW(Combo(p, 1), CB_SETCURSEL, 3, 0);  // 96 kHz
      ::SendMessageW(Edit(p, 0), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"6"));
      ::SendMessageW(Edit(p, 1), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"2"));
      if (ending == WM_CLOSE)
        ::SendMessageW(p, WM_CLOSE, 0, 0);
      else
        Click(p, static_cast<int>(ending));
    });
    EXPECT_EQ(source->Configure(0, host.Handle()), 0);
    VxRegKey key;
    EXPECT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER,
                              (Env().SettingsRegistryPath() + L"\\" + kPrimary).c_str(), 0,
                              KEY_READ, key.put()) == ERROR_SUCCESS,
              ending == IDOK);
  }
  wchar_t text[1024] = {};
  ASSERT_EQ(source->GetInfo(3, text), 1);
  const std::wstring id = VxTestAsioClassIdText(0);
  EXPECT_EQ(std::wstring(text), L"deviceindex=0&deviceid=%7B" + id.substr(1, 36) +
                                    L"%7D&samplerate=96000&channels=6&channelshift=2");

  auto sink = vxasiotest::CheckingSink(ASIOSTInt32LSB, 2, 6);
  vxtest::SourcePtr recorder = vxtest::NewSource(vxtest::kAsio);
  ASSERT_TRUE(recorder);
  ASSERT_EQ(recorder->Open(reinterpret_cast<const char16_t*>(text), &sink), 0);
  EXPECT_TRUE(sink.WaitWrites(8));
  recorder.reset();
  source.reset();
  ASSERT_EQ(sink.formats.size(), 1u);
  EXPECT_EQ(sink.formats[0].sampleRate, 96000u);
  EXPECT_EQ(sink.formats[0].channels, 6);
  EXPECT_EQ(sink.mismatches, 0u) << "inputs 2 to 7 of the driver";
  VxTestAsioUnregister(0);
  ::CoUninitialize();
}

}  // namespace
