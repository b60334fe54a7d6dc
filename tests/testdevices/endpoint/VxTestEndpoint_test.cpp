// The test endpoint where a fault of its own would hide a fault of the
// loopback source: that it really stands in for the system's device
// enumerator and is taken away again, that its record shows what a careless
// caller did (unreleased packets, threads without COM, callbacks left
// registered, objects left alive), and that its signal has the documented
// values the main job's recording check computes.
#include <audioclient.h>
#include <endpointvolume.h>
#include <mmdeviceapi.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <thread>

#include "foundation/VxHandle.h"
#include "testdevices/endpoint/VxTestEndpointControl.h"
#include "testdevices/endpoint/VxTestEndpointRegistration.h"

namespace {

class EndpointTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED))); }
  void TearDown() override {
    capture_.reset();
    client_.reset();
    scope_.reset();
    ::CoUninitialize();
  }
  void Use(VxTestEndpointConfig config) {
    wchar_t dir[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, dir);
    config.recordFile = std::wstring(dir) + L"vx_test_endpoint_record.txt";
    config_ = config;
    ASSERT_TRUE(VxTestEndpointControl::ResetRecord(config.recordFile));
    scope_ = std::make_unique<VxTestEndpointScope>(config);
    ASSERT_TRUE(scope_->ok());
  }
  std::vector<VxTestRecordLine> Record() const {
    return VxTestEndpointControl::ReadRecord(config_.recordFile);
  }
  static HRESULT CreateEnumerator(VxComPtr<IMMDeviceEnumerator>* out) {
    return ::CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_INPROC_SERVER,
                              __uuidof(IMMDeviceEnumerator), reinterpret_cast<void**>(out->put()));
  }
  static VxComPtr<IMMDevice> DefaultDevice() {
    VxComPtr<IMMDeviceEnumerator> enumerator;
    VxComPtr<IMMDevice> device;
    EXPECT_EQ(S_OK, CreateEnumerator(&enumerator));
    if (enumerator) {
      EXPECT_EQ(S_OK, enumerator->GetDefaultAudioEndpoint(eRender, eConsole, device.put()));
    }
    return device;
  }
  // Sets up a loopback capture as a recorder does and starts it.
  void OpenCapture() {
    VxComPtr<IMMDevice> device = DefaultDevice();
    ASSERT_TRUE(device);
    ASSERT_EQ(S_OK, device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                     reinterpret_cast<void**>(client_.put())));
    WAVEFORMATEX* format = nullptr;
    ASSERT_EQ(S_OK, client_->GetMixFormat(&format));
    const HRESULT hr = client_->Initialize(AUDCLNT_SHAREMODE_SHARED, AUDCLNT_STREAMFLAGS_LOOPBACK,
                                           0, 0, format, nullptr);
    ::CoTaskMemFree(format);
    ASSERT_EQ(S_OK, hr);
    ASSERT_EQ(S_OK, client_->GetService(__uuidof(IAudioCaptureClient),
                                        reinterpret_cast<void**>(capture_.put())));
    ASSERT_EQ(S_OK, client_->Start());
  }
  // Takes one packet when one is there and releases it unless told not to;
  // returns its frame count (0: none).
  UINT32 TakePacket(bool release = true) {
    UINT32 size = 0, frames = 0;
    BYTE* data = nullptr;
    DWORD flags = 0;
    if (FAILED(capture_->GetNextPacketSize(&size)) || size == 0 ||
        FAILED(capture_->GetBuffer(&data, &frames, &flags, nullptr, nullptr)))
      return 0;
    if (release) {
      EXPECT_EQ(S_OK, capture_->ReleaseBuffer(frames));
    }
    return frames;
  }

  VxTestEndpointConfig config_;
  std::unique_ptr<VxTestEndpointScope> scope_;
  VxComPtr<IAudioClient> client_;
  VxComPtr<IAudioCaptureClient> capture_;
};

TEST_F(EndpointTest, RegistrationShadowsTheSystemEnumeratorAndIsUndone) {
  // Repairs what a program that died with the endpoint installed left behind.
  ASSERT_TRUE(VxTestEndpointControl::Remove());
  const std::wstring system = VxTestEndpointRegistration::CurrentServer();
  ASSERT_FALSE(VxTestEndpointControl::IsInstalled());
  Use(VxTestEndpointConfig());
  // A second install (a test that died without removing) must not lose the
  // system's path.
  ASSERT_TRUE(VxTestEndpointControl::Install());
  {
    VxComPtr<IMMDeviceEnumerator> enumerator;
    ASSERT_EQ(S_OK, CreateEnumerator(&enumerator));
    EXPECT_NE(nullptr, ::GetModuleHandleW(L"VxTestEndpoint.dll"));
  }
  scope_.reset();
  EXPECT_EQ(system, VxTestEndpointRegistration::CurrentServer());
  EXPECT_FALSE(VxTestEndpointControl::IsInstalled());
}

// A volume callback that lives on the stack.
#pragma GCC diagnostic push  // COM interfaces end through Release, not a destructor
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class CountingCallback final : public IAudioEndpointVolumeCallback {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out =
        iid == __uuidof(IUnknown) || iid == __uuidof(IAudioEndpointVolumeCallback) ? this : nullptr;
    return *out ? (AddRef(), S_OK) : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE OnNotify(AUDIO_VOLUME_NOTIFICATION_DATA*) override { return S_OK; }
};
#pragma GCC diagnostic pop

// The source's tests trust the record to flag these; each must show.
TEST_F(EndpointTest, RecordShowsUnreleasedPacketsThreadsWithoutComAndWhatWasLeftAlive) {
  VxTestEndpointConfig config;
  config.realTime = 0;
  Use(config);
  OpenCapture();
  // A callback left registered when its volume object goes.
  VxComPtr<IAudioEndpointVolume> volume;
  ASSERT_EQ(S_OK, DefaultDevice()->Activate(__uuidof(IAudioEndpointVolume), CLSCTX_ALL, nullptr,
                                            reinterpret_cast<void**>(volume.put())));
  CountingCallback callback;
  ASSERT_EQ(S_OK, volume->RegisterControlChangeNotify(&callback));
  volume.reset();
  EXPECT_EQ(1u, VxTestEndpointControl::Summarize(Record()).callbacksLeft);

  unsigned long staThread = 0, plainThread = 0;
  std::thread([&] {
    staThread = ::GetCurrentThreadId();
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    EXPECT_GT(TakePacket(), 0u);
    ::CoUninitialize();
  }).join();
  EXPECT_TRUE(VxTestEndpointControl::Summarize(Record()).paired);
  std::thread([&] {
    plainThread = ::GetCurrentThreadId();
    EXPECT_GT(TakePacket(false), 0u);
  }).join();
  EXPECT_FALSE(VxTestEndpointControl::Summarize(Record()).paired);
  EXPECT_GT(VxTestEndpointControl::WriteLiveObjects(), 0u);
  capture_.reset();
  client_.reset();
  EXPECT_EQ(0u, VxTestEndpointControl::WriteLiveObjects());

  std::map<unsigned long, VxTestRecordLine> calls;
  for (const VxTestRecordLine& line : Record())
    if (line.event == "GetBuffer")
      calls[line.tid] = line;
  ASSERT_EQ(2u, calls.size());
  EXPECT_TRUE(calls[staThread].com);
  // in the process's multithreaded apartment, but only implicitly
  EXPECT_FALSE(calls[plainThread].com);
}

// Frame 0 of channel 0 is the wave's minimum, half of full scale negative, in
// every sample format; the low byte of wide samples carries frame and channel
// and is cut away below the valid bits.
TEST(EndpointSignal, SamplesHaveTheDocumentedValues) {
  struct Case {
    uint16_t tag, sub, bits, valid;
    std::vector<uint8_t> frame0;
  } cases[] = {
      {1, 0, 16, 16, {0x00, 0xC0}},
      {1, 0, 24, 24, {0x00, 0x00, 0xC0}},
      {1, 0, 32, 32, {0x00, 0x00, 0x00, 0xC0}},
      {0xFFFE, 1, 32, 20, {0x00, 0x00, 0x00, 0xC0}},
      {1, 0, 8, 8, {0x40}},
      {3, 0, 32, 32, {0x00, 0x00, 0x00, 0xBF}},
      {0xFFFE, 3, 64, 64, {0, 0, 0, 0, 0, 0, 0xE0, 0xBF}},
  };
  for (const Case& c : cases) {
    VxTestSignalFormat format{c.tag, c.sub, 1, c.bits, c.valid};
    std::vector<uint8_t> bytes(format.BlockAlign());
    VxTestSignalFill(format, 0, 1, bytes.data());
    EXPECT_EQ(c.frame0, bytes) << "tag " << c.tag << " bits " << c.bits;
  }
  // Frame 77 of channel 1 (period 110, falling), as the main job computes it.
  EXPECT_EQ(0x0CCCCD6C, VxTestSignalSample32(77, 1));
  VxTestSignalFormat twenty{0xFFFE, 1, 2, 32, 20};
  std::vector<uint8_t> frame(8);
  VxTestSignalFill(twenty, 77, 1, frame.data());
  EXPECT_EQ(0, frame[4]);
  EXPECT_EQ(0, frame[5] & 0x0F);
}

}  // namespace
