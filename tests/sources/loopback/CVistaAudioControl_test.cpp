// The endpoint control object on the test endpoint: choosing an endpoint,
// listing names, and the volume callback the system holds while registered.
#include <gtest/gtest.h>

#include "sources/loopback/CVistaAudioControl.h"
#include "tests/sources/loopback/VxLoopbackTestSupport.h"

namespace {

// COM for the test's thread, for the length of one test.
class VistaAudioControl : public ::testing::Test {
  void SetUp() override {
    ASSERT_HRESULT_SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  }
  void TearDown() override { ::CoUninitialize(); }
};

struct Target final : IVxVolumeNotificationTarget {
  void OnVolumeNotification(const AUDIO_VOLUME_NOTIFICATION_DATA* data) noexcept override {
    ++calls;
    level = data ? data->fMasterVolume : -1;
  }
  int calls = 0;
  float level = 0;
};

TEST_F(VistaAudioControl, ChoosesByNameOrDefaultAndListsEveryEndpoint) {
  struct Case {
    const wchar_t* wanted;
    bool fallBack;
    const wchar_t* chosen;  // null: no device
  };
  const Case cases[] = {
      {L"", true, L"Speakers (USB Audio)"},
      {L"Digital Audio (S/PDIF) (HD Audio)", true, L"Digital Audio (S/PDIF) (HD Audio)"},
      {L"Missing", true, L"Speakers (USB Audio)"},
      {L"Missing", false, nullptr},
  };
  VxTestEndpointConfig config;
  config.endpoints = {L"Digital Audio (S/PDIF) (HD Audio)", L"Speakers (USB Audio)", L"Monitor"};
  config.defaultEndpoint = 1;
  VxTestEndpointScope endpoint(config);
  ASSERT_TRUE(endpoint.ok());
  for (const Case& test : cases) {
    SCOPED_TRACE(testing::Message() << test.wanted << " " << test.fallBack);
    CVistaAudioControl control;
    control.SetWantedName(VxString(test.wanted));
    control.SetFallBackToDefault(test.fallBack);
    control.Attach();
    EXPECT_EQ(control.EndpointNames(), (VxStringArray{u"Digital Audio (S/PDIF) (HD Audio)",
                                                      u"Speakers (USB Audio)", u"Monitor"}));
    EXPECT_EQ(control.DisplayNames(), (VxStringArray{u"HD Audio", u"USB Audio", u"Monitor"}));
    if (!test.chosen) {
      EXPECT_EQ(control.Device(), nullptr);
      continue;
    }
    ASSERT_NE(control.Device(), nullptr);
    VxComPtr<IPropertyStore> store;
    ASSERT_EQ(control.Device()->OpenPropertyStore(STGM_READ, store.put()), S_OK);
    PROPVARIANT name;
    ::PropVariantInit(&name);
    ASSERT_EQ(store->GetValue(vxcoreaudio::kKeyDeviceFriendlyName, &name), S_OK);
    EXPECT_STREQ(name.pwszVal, test.chosen);
    ::PropVariantClear(&name);
  }
}

// Registered, the endpoint holds one reference and delivers changes to the
// target from a thread of its own; a notification still on its way when the
// control object goes (the endpoint holds its reference meanwhile) reaches it
// before the destructor returns, and nothing is left behind.
TEST_F(VistaAudioControl, VolumeCallbackCountsReferencesAndOutlivesLateNotifications) {
  VxTestEndpointConfig config;
  config.notifyDelayMs = 1000;  // long past the unregistration, even on a busy machine
  vxtest::EndpointRun run(config);
  Target target;
  {
    CVistaAudioControl control;
    control.Attach();
    ASSERT_TRUE(control.IsRegisteredForNotifications());
    EXPECT_EQ(control.ReferenceCount(), 2);
    control.SetNotificationTarget(&target);

    void* out = &target;
    EXPECT_EQ(control.QueryInterface(vxcoreaudio::kIidDevice, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    for (const IID& iid :
         {vxcoreaudio::kIidUnknown, vxcoreaudio::kIidAudioEndpointVolumeCallback}) {
      ASSERT_EQ(control.QueryInterface(iid, &out), S_OK);
      EXPECT_EQ(out, static_cast<IAudioEndpointVolumeCallback*>(&control));
      EXPECT_EQ(control.Release(), 2u);
    }
    ASSERT_EQ(control.EndpointVolume()->SetMasterVolumeLevelScalar(0.25f, nullptr), S_OK);
  }
  EXPECT_EQ(target.calls, 1);
  EXPECT_FLOAT_EQ(target.level, 0.25f);
  const auto record = run.Record();
  const auto unregister = vxtest::Events(record, "UnregisterControlChangeNotify");
  ASSERT_EQ(unregister.size(), 1u);
  EXPECT_EQ(unregister[0].Number("refsLeft"), 2u) << "the notification was still on its way";
  const auto notified = vxtest::Events(record, "OnNotify");
  ASSERT_EQ(notified.size(), 1u);
  EXPECT_NE(notified[0].tid, ::GetCurrentThreadId());
  EXPECT_EQ(VxTestEndpointControl::WriteLiveObjects(), 0u);
}

}  // namespace
