// The test endpoint itself: that it really stands in for the system's device
// enumerator and is taken away again, serves the documented bytes for every
// kind of mix format, fails where it is told to, and records what a caller
// did (pairing, threads, volume callbacks, objects left alive).
#include <audioclient.h>
#include <endpointvolume.h>
#include <mmdeviceapi.h>
#include <mmreg.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "foundation/VxHandle.h"
#include "testdevices/endpoint/VxTestEndpointControl.h"
#include "testdevices/endpoint/VxTestEndpointRegistration.h"

namespace {

constexpr DWORD kLoopback = 0x20000;

std::wstring RecordPath() {
  wchar_t dir[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, dir);
  return std::wstring(dir) + L"vx_test_endpoint_record.txt";
}

struct CoTaskMemFreer {
  void operator()(void* p) const { ::CoTaskMemFree(p); }
};
using MixFormat = std::unique_ptr<WAVEFORMATEX, CoTaskMemFreer>;

class EndpointTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED))); }
  void TearDown() override {
    scope_.reset();
    ::CoUninitialize();
  }
  void Use(VxTestEndpointConfig config) {
    scope_.reset();
    config.recordFile = RecordPath();
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
  static std::wstring FriendlyName(IMMDevice* device) {
    VxComPtr<IPropertyStore> store;
    if (FAILED(device->OpenPropertyStore(STGM_READ, store.put())))
      return L"?";
    const PROPERTYKEY kFriendlyName = {
        {0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}}, 14};
    PROPVARIANT value;
    if (FAILED(store.get()->GetValue(kFriendlyName, &value)) || value.vt != VT_LPWSTR)
      return L"?";
    std::wstring name = value.pwszVal;
    ::CoTaskMemFree(value.pwszVal);
    return name;
  }

  // Walks the capture set-up as a loopback recorder does, stopping at the first
  // failure; returns the number of the failing step (0 when all succeeded).
  int OpenCapture(HRESULT* failure) {
    *failure = S_OK;
    VxComPtr<IMMDeviceEnumerator> enumerator;
    VxComPtr<IMMDevice> device;
    WAVEFORMATEX* format = nullptr;
    const HRESULT steps[] = {
        CreateEnumerator(&enumerator),
        enumerator ? enumerator.get()->GetDefaultAudioEndpoint(eRender, eConsole, device.put())
                   : E_FAIL,
    };
    for (int i = 0; i < 2; ++i)
      if (FAILED(*failure = steps[i]))
        return i + 1;
    if (FAILED(*failure = device.get()->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                                 reinterpret_cast<void**>(client_.put()))))
      return 3;
    *failure = client_.get()->GetMixFormat(&format);
    mix_.reset(format);
    if (FAILED(*failure))
      return 4;
    if (FAILED(*failure = client_.get()->Initialize(AUDCLNT_SHAREMODE_SHARED, kLoopback, 0, 0,
                                                    format, nullptr)))
      return 5;
    if (FAILED(*failure = client_.get()->GetService(__uuidof(IAudioCaptureClient),
                                                    reinterpret_cast<void**>(capture_.put()))))
      return 6;
    if (FAILED(*failure = client_.get()->Start()))
      return 7;
    return 0;
  }
  void CloseCapture() {
    if (client_)
      (void)client_.get()->Stop();
    capture_.reset();
    client_.reset();
    mix_.reset();
  }
  // Reads one packet when one is there; checks its bytes against the signal.
  // Returns the packet's frame count, 0 when none, or the failure.
  HRESULT ReadPacket(uint64_t* position) {
    UINT32 size = 0;
    HRESULT hr = capture_.get()->GetNextPacketSize(&size);
    if (FAILED(hr) || size == 0)
      return hr;
    BYTE* data = nullptr;
    UINT32 frames = 0;
    DWORD flags = 0;
    if (FAILED(hr = capture_.get()->GetBuffer(&data, &frames, &flags, nullptr, nullptr)))
      return hr;
    const std::vector<uint8_t> expected =
        VxTestEndpointControl::ExpectedBytes(config_, *position, frames);
    EXPECT_EQ(0, std::memcmp(expected.data(), data, expected.size())) << "frame " << *position;
    EXPECT_EQ(S_OK, capture_.get()->ReleaseBuffer(frames));
    *position += frames;
    return static_cast<HRESULT>(frames);
  }

  VxTestEndpointConfig config_;
  std::unique_ptr<VxTestEndpointScope> scope_;
  VxComPtr<IAudioClient> client_;
  VxComPtr<IAudioCaptureClient> capture_;
  MixFormat mix_;
};

TEST_F(EndpointTest, RegistrationShadowsTheSystemEnumeratorAndIsUndone) {
  const std::wstring system = VxTestEndpointRegistration::CurrentServer();
  ASSERT_FALSE(VxTestEndpointControl::IsInstalled());
  VxTestEndpointConfig config;
  config.endpoints = {L"Alpha", L"Beta"};
  config.defaultEndpoint = 1;
  Use(config);
  // A second install (a test that died without removing) must not lose the
  // system's path.
  ASSERT_TRUE(VxTestEndpointControl::Install());
  EXPECT_TRUE(VxTestEndpointControl::IsInstalled());
  {
    VxComPtr<IMMDeviceEnumerator> enumerator;
    ASSERT_EQ(S_OK, CreateEnumerator(&enumerator));
    EXPECT_NE(nullptr, ::GetModuleHandleW(L"VxTestEndpoint.dll"));
    VxComPtr<IMMDeviceCollection> all;
    ASSERT_EQ(S_OK, enumerator.get()->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, all.put()));
    UINT count = 0;
    ASSERT_EQ(S_OK, all.get()->GetCount(&count));
    ASSERT_EQ(2u, count);
    for (UINT i = 0; i < count; ++i) {
      VxComPtr<IMMDevice> device;
      ASSERT_EQ(S_OK, all.get()->Item(i, device.put()));
      EXPECT_EQ(config.endpoints[i], FriendlyName(device.get()));
    }
    VxComPtr<IMMDevice> preferred;
    ASSERT_EQ(S_OK, enumerator.get()->GetDefaultAudioEndpoint(eRender, eConsole, preferred.put()));
    EXPECT_EQ(L"Beta", FriendlyName(preferred.get()));
  }
  scope_.reset();
  EXPECT_EQ(system, VxTestEndpointRegistration::CurrentServer());
  EXPECT_FALSE(VxTestEndpointControl::IsInstalled());

  const auto created = [this] {
    return VxTestEndpointControl::Summarize(Record()).created["IMMDeviceEnumerator"];
  };
  const int before = created();
  VxComPtr<IMMDeviceEnumerator> systemEnumerator;
  (void)CreateEnumerator(&systemEnumerator);
  EXPECT_EQ(before, created()) << "the removed endpoint still answered";
}

struct FormatCase {
  const char* name;
  uint32_t tag, subTag, bits, validBits, channels, rate, mask;
};

TEST_F(EndpointTest, CaptureServesTheSignalInEveryMixFormat) {
  const FormatCase cases[] = {
      {"pcm16", 1, 0, 16, 0, 2, 44100, 0},
      {"pcm8 mono", 1, 0, 8, 0, 1, 8000, 0},
      {"float32", 3, 0, 32, 0, 2, 48000, 0},
      {"ext float 7.1", 0xFFFE, 3, 32, 0, 8, 192000, 0x63F},
      {"ext pcm24", 0xFFFE, 1, 24, 0, 2, 96000, 3},
      {"ext pcm 20 in 32", 0xFFFE, 1, 32, 20, 2, 48000, 3},
      {"ext float64", 0xFFFE, 3, 64, 0, 2, 48000, 3},
      {"spdif 0x92", 0x92, 0, 16, 0, 2, 48000, 0},
      {"mu-law 7", 7, 0, 8, 0, 1, 8000, 0},
      {"mpeg 0x50", 0x50, 0, 16, 0, 2, 44100, 0},
      {"unknown tag", 0x1234, 0, 16, 0, 2, 48000, 0},
  };
  for (const FormatCase& c : cases) {
    SCOPED_TRACE(c.name);
    VxTestEndpointConfig config;
    config.formatTag = c.tag;
    config.subTag = c.subTag;
    config.bitsPerSample = c.bits;
    config.validBitsPerSample = c.validBits;
    config.channels = c.channels;
    config.sampleRate = c.rate;
    config.channelMask = c.mask;
    config.realTime = 0;
    config.packetFrames = 37;
    Use(config);
    HRESULT hr = S_OK;
    ASSERT_EQ(0, OpenCapture(&hr)) << std::hex << hr;
    const WAVEFORMATEX* f = mix_.get();
    EXPECT_EQ(c.tag, f->wFormatTag);
    EXPECT_EQ(c.channels, f->nChannels);
    EXPECT_EQ(c.rate, f->nSamplesPerSec);
    EXPECT_EQ(c.bits, f->wBitsPerSample);
    EXPECT_EQ(c.channels * c.bits / 8, f->nBlockAlign);
    if (c.tag == 0xFFFE) {
      const auto* x = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(f);
      EXPECT_EQ(22, f->cbSize);
      EXPECT_EQ(c.validBits ? c.validBits : c.bits, x->Samples.wValidBitsPerSample);
      EXPECT_EQ(c.mask, x->dwChannelMask);
      EXPECT_EQ(c.subTag, x->SubFormat.Data1);
    } else {
      EXPECT_EQ(0, f->cbSize);
    }
    uint64_t position = 0;
    for (int packets = 0; packets < 5;)
      packets += ReadPacket(&position) > 0;
    EXPECT_EQ(5u * 37u, position);
    CloseCapture();
    EXPECT_EQ(0u, VxTestEndpointControl::WriteLiveObjects());

    const std::vector<VxTestRecordLine> record = Record();
    const VxTestRecordSummary s = VxTestEndpointControl::Summarize(record);
    EXPECT_TRUE(s.paired);
    EXPECT_EQ(5u, s.packets);
    EXPECT_EQ(position, s.releasedFrames);
    EXPECT_EQ(1u, s.stopCalls);
    EXPECT_EQ(s.created, s.destroyed);
    for (const VxTestRecordLine& line : record) {
      if (line.event != "Initialize")
        continue;
      EXPECT_EQ("0", line.Field("share"));
      EXPECT_EQ("0x00020000", line.Field("flags"));
      EXPECT_EQ("1", line.Field("matchesMix"));
      EXPECT_EQ((18u + (c.tag == 0xFFFE ? 22u : 0u)) * 2, line.Field("format").size());
    }
  }
}

TEST(EndpointSignal, SamplesHaveTheDocumentedValues) {
  // Frame 0 of channel 0 is the wave's minimum, half of full scale negative.
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
  // Frame 77 of channel 1 (period 110, rising): the low byte of wide samples
  // carries frame and channel, and is cut away below the valid bits.
  EXPECT_EQ(0x6C, VxTestSignalSample32(77, 1) & 0xFF);
  VxTestSignalFormat twenty{0xFFFE, 1, 2, 32, 20};
  std::vector<uint8_t> frame(8);
  VxTestSignalFill(twenty, 77, 1, frame.data());
  EXPECT_EQ(0, frame[4]);
  EXPECT_EQ(0, frame[5] & 0x0F);
}

}  // namespace
