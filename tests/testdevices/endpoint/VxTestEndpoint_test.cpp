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

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "foundation/VxHandle.h"
#include "testdevices/endpoint/VxTestEndpointControl.h"
#include "testdevices/endpoint/VxTestEndpointRegistration.h"

namespace {

constexpr DWORD kLoopback = 0x20000;

double NowMs() {
  LARGE_INTEGER now, frequency;
  ::QueryPerformanceCounter(&now);
  ::QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

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
  // Repairs what a program that died with the endpoint installed left behind.
  ASSERT_TRUE(VxTestEndpointControl::Remove());
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

TEST_F(EndpointTest, EachConfiguredFaultFailsItsStep) {
  constexpr HRESULT kFault = static_cast<HRESULT>(0x88890099);
  struct Case {
    const char* name;
    uint32_t VxTestEndpointConfig::*field;  // null: no fault value
    int failingStep;
    HRESULT expected;
  } cases[] = {
      {"creating the enumerator", &VxTestEndpointConfig::failCreate, 1, kFault},
      {"no default endpoint", &VxTestEndpointConfig::defaultEndpoint, 2,
       static_cast<HRESULT>(0x80070490)},
      {"no endpoints at all", nullptr, 2, static_cast<HRESULT>(0x80070490)},
      {"Activate", &VxTestEndpointConfig::failActivate, 3, kFault},
      {"GetMixFormat", &VxTestEndpointConfig::failGetMixFormat, 4, kFault},
      {"GetMixFormat with a structure", &VxTestEndpointConfig::failGetMixFormat, 4, kFault},
      {"Initialize", &VxTestEndpointConfig::failInitialize, 5, kFault},
      {"GetService", &VxTestEndpointConfig::failGetService, 6, kFault},
      {"Start", &VxTestEndpointConfig::failStart, 7, kFault},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VxTestEndpointConfig config;
    if (c.field == &VxTestEndpointConfig::defaultEndpoint)
      config.defaultEndpoint = kVxTestEndpointNoDefault;
    else if (c.field != nullptr)
      config.*c.field = static_cast<uint32_t>(kFault);
    else
      config.endpoints.clear();
    const bool withStructure = std::string(c.name) == "GetMixFormat with a structure";
    config.mixFormatOnFailure = withStructure;
    Use(config);
    HRESULT hr = S_OK;
    EXPECT_EQ(c.failingStep, OpenCapture(&hr));
    EXPECT_EQ(c.expected, hr);
    if (c.failingStep == 4) {
      EXPECT_EQ(withStructure, mix_ != nullptr);
    }
    CloseCapture();
    EXPECT_EQ(0u, VxTestEndpointControl::WriteLiveObjects());
  }
}

TEST_F(EndpointTest, StreamFailsForAWhileThenResumesAtTheNextFrame) {
  VxTestEndpointConfig config;
  config.realTime = 0;
  config.packetFrames = 100;
  config.failStreamAfterFrames = 300;
  config.failStreamMs = 100;
  Use(config);
  HRESULT hr = S_OK;
  ASSERT_EQ(0, OpenCapture(&hr));
  uint64_t position = 0;
  while (position < 300)
    ASSERT_GE(ReadPacket(&position), 0);
  const double failedAt = NowMs();
  // GetBuffer fails alike while the device is gone.
  BYTE* data = nullptr;
  UINT32 frames = 0;
  DWORD flags = 0;
  EXPECT_EQ(static_cast<HRESULT>(0x88890004),
            capture_.get()->GetBuffer(&data, &frames, &flags, nullptr, nullptr));
  int failures = 0;
  while ((hr = ReadPacket(&position)) < 0) {
    EXPECT_EQ(static_cast<HRESULT>(0x88890004), hr);
    ++failures;
    ::Sleep(1);
  }
  EXPECT_GE(NowMs() - failedAt, 100.0);
  EXPECT_GT(failures, 0);
  EXPECT_EQ(400u, position);
  CloseCapture();
  const VxTestRecordSummary s = VxTestEndpointControl::Summarize(Record());
  EXPECT_TRUE(s.paired);
  EXPECT_EQ(400u, s.releasedFrames);
}

TEST_F(EndpointTest, RealTimePaceNeverRunsAheadAndGapsStopPackets) {
  VxTestEndpointConfig config;
  config.sampleRate = 48000;
  config.packetFrames = 48;      // 1 ms
  config.gapAfterFrames = 4800;  // 100 ms
  config.gapMs = 150;
  Use(config);
  HRESULT hr = S_OK;
  ASSERT_EQ(0, OpenCapture(&hr));
  const double start = NowMs();
  uint64_t position = 0;
  double lastPacket = start, longestSilence = 0;
  while (position < 9600) {
    const HRESULT got = ReadPacket(&position);
    ASSERT_GE(got, 0);
    const double now = NowMs();
    if (got > 0) {
      longestSilence = std::max(longestSilence, now - lastPacket);
      lastPacket = now;
      // Never more than wall time allows (one packet of slack for rounding);
      // the gap's 150 ms are not made up afterwards.
      const double produced = now - start - (position > 4800 ? 150.0 : 0.0);
      ASSERT_LE(position, (produced + 1.0) * 48 + 48);
    } else {
      ::Sleep(1);
    }
  }
  EXPECT_GE(NowMs() - start, 200.0 + 150.0 - 2.0);
  EXPECT_GE(longestSilence, 150.0 - 1.0);
  CloseCapture();
  bool gapBegan = false, gapEnded = false;
  for (const VxTestRecordLine& line : Record()) {
    gapBegan |= line.event == "gap-begin" && line.Number("frame") == 4800;
    gapEnded |= line.event == "gap-end" && line.Number("frame") == 4800;
  }
  EXPECT_TRUE(gapBegan);
  EXPECT_TRUE(gapEnded);
}

// A volume callback that counts its references and the notifications.
#pragma GCC diagnostic push  // COM interfaces end through Release, not a destructor
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class CountingCallback final : public IAudioEndpointVolumeCallback {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == __uuidof(IUnknown) || iid == __uuidof(IAudioEndpointVolumeCallback)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE OnNotify(AUDIO_VOLUME_NOTIFICATION_DATA* data) override {
    lastLevel = data->fMasterVolume;
    lastChannels = data->nChannels;
    ++notifications;
    return S_OK;
  }
  std::atomic<ULONG> refs{1};
  float lastLevel = -1;
  UINT lastChannels = 0;
  int notifications = 0;
};
#pragma GCC diagnostic pop

TEST_F(EndpointTest, VolumeCallbacksAreNotifiedAcrossObjectsAndReleased) {
  VxTestEndpointConfig config;
  config.channels = 6;
  config.channelMask = 0x3F;
  Use(config);
  VxComPtr<IMMDeviceEnumerator> enumerator;
  ASSERT_EQ(S_OK, CreateEnumerator(&enumerator));
  VxComPtr<IMMDevice> device;
  ASSERT_EQ(S_OK, enumerator.get()->GetDefaultAudioEndpoint(eRender, eConsole, device.put()));
  VxComPtr<IAudioEndpointVolume> mine, other;
  for (auto* v : {&mine, &other})
    ASSERT_EQ(S_OK, device.get()->Activate(__uuidof(IAudioEndpointVolume), CLSCTX_ALL, nullptr,
                                           reinterpret_cast<void**>(v->put())));
  CountingCallback callback;
  ASSERT_EQ(S_OK, mine.get()->RegisterControlChangeNotify(&callback));
  EXPECT_EQ(2u, callback.refs);
  ASSERT_EQ(S_OK, other.get()->SetMasterVolumeLevelScalar(0.25f, nullptr));
  EXPECT_EQ(1, callback.notifications);
  EXPECT_EQ(0.25f, callback.lastLevel);
  EXPECT_EQ(6u, callback.lastChannels);
  ASSERT_EQ(S_OK, mine.get()->UnregisterControlChangeNotify(&callback));
  EXPECT_EQ(1u, callback.refs);
  ASSERT_EQ(S_OK, other.get()->SetMute(TRUE, nullptr));
  EXPECT_EQ(1, callback.notifications);

  // Left registered: released when the volume object goes, and recorded.
  ASSERT_EQ(S_OK, mine.get()->RegisterControlChangeNotify(&callback));
  mine.reset();
  EXPECT_EQ(1u, callback.refs);
  const VxTestRecordSummary s = VxTestEndpointControl::Summarize(Record());
  EXPECT_EQ(2u, s.registered);
  EXPECT_EQ(1u, s.unregistered);
  EXPECT_EQ(1u, s.callbacksLeft);
}

TEST_F(EndpointTest, RecordNamesTheThreadAndApartmentOfEachCall) {
  VxTestEndpointConfig config;
  config.realTime = 0;
  Use(config);
  HRESULT hr = S_OK;
  ASSERT_EQ(0, OpenCapture(&hr));
  unsigned long staThread = 0, plainThread = 0;
  uint64_t position = 0;
  std::thread([&] {
    staThread = ::GetCurrentThreadId();
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    EXPECT_GT(ReadPacket(&position), 0);
    ::CoUninitialize();
  }).join();
  std::thread([&] {
    plainThread = ::GetCurrentThreadId();
    EXPECT_GT(ReadPacket(&position), 0);
  }).join();
  CloseCapture();
  std::map<unsigned long, const VxTestRecordLine*> calls;
  const std::vector<VxTestRecordLine> record = Record();
  for (const VxTestRecordLine& line : record)
    if (line.event == "GetBuffer")
      calls[line.tid] = &line;
  ASSERT_EQ(2u, calls.size());
  // The first single-threaded apartment of a process is its main one.
  EXPECT_EQ("mainsta", calls[staThread]->apartment);
  EXPECT_TRUE(calls[staThread]->com);
  // Without COM of its own, a thread in a process with a multithreaded
  // apartment counts as in it, implicitly.
  EXPECT_EQ("mta-implicit", calls[plainThread]->apartment);
  EXPECT_FALSE(calls[plainThread]->com);
}

DWORD RunTool(const std::wstring& arguments) {
  std::wstring dir = VxTestEndpointControl::DllPath();
  dir.resize(dir.find_last_of(L'\\') + 1);
  std::wstring command = L"\"" + dir + L"vxtestendpoint.exe\" " + arguments;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi))
    return 0xFFFFFFFF;
  VxHandle process(pi.hProcess), thread(pi.hThread);
  ::WaitForSingleObject(process.get(), INFINITE);
  DWORD code = 0xFFFFFFFF;
  ::GetExitCodeProcess(process.get(), &code);
  return code;
}

void WriteWav(const std::wstring& path,
              const VxTestEndpointConfig& c,
              const std::vector<uint8_t>& data) {
  // Extensible header, as a recorder writes for a 0xFFFE mix format.
  std::vector<uint8_t> file;
  auto put = [&file](uint32_t v, int size) {
    for (int i = 0; i < size; ++i)
      file.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  auto tag = [&file](const char* t) {
    for (int i = 0; i < 4; ++i)
      file.push_back(static_cast<uint8_t>(t[i]));
  };
  tag("RIFF");
  put(static_cast<uint32_t>(4 + 8 + 40 + 8 + data.size()), 4);
  tag("WAVE");
  tag("fmt ");
  put(40, 4);
  put(0xFFFE, 2);
  put(c.channels, 2);
  put(c.sampleRate, 4);
  put(c.sampleRate * c.BlockAlign(), 4);
  put(c.BlockAlign(), 2);
  put(c.bitsPerSample, 2);
  put(22, 2);
  put(c.bitsPerSample, 2);
  put(c.channelMask, 4);
  put(c.subTag, 4);
  const uint8_t rest[] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  file.insert(file.end(), rest, rest + sizeof rest);
  tag("data");
  put(static_cast<uint32_t>(data.size()), 4);
  file.insert(file.end(), data.begin(), data.end());
  VxFileHandle out(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  ASSERT_TRUE(
      ::WriteFile(out.get(), file.data(), static_cast<DWORD>(file.size()), &written, nullptr));
}

TEST_F(EndpointTest, ToolChecksARecordingByteForByte) {
  VxTestEndpointConfig config;
  config.channels = 3;
  config.channelMask = 7;
  Use(config);
  const std::wstring wav = RecordPath() + L".wav";
  std::vector<uint8_t> audio = VxTestEndpointControl::ExpectedBytes(config, 0, 4801);
  WriteWav(wav, config, audio);
  EXPECT_EQ(0u, RunTool(L"check-wav \"" + wav + L"\""));
  audio[audio.size() - 5] ^= 1;
  WriteWav(wav, config, audio);
  EXPECT_EQ(2u, RunTool(L"check-wav \"" + wav + L"\""));
  // Audio that starts anywhere but frame 0 is not the endpoint's stream.
  WriteWav(wav, config, VxTestEndpointControl::ExpectedBytes(config, 1, 4800));
  EXPECT_EQ(2u, RunTool(L"check-wav \"" + wav + L"\""));
  EXPECT_EQ(1u, RunTool(L"configure NoSuchValue=1"));
  ::DeleteFileW(wav.c_str());
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

  // A stretch far from frame 0, across every channel's period boundary, in
  // 32-bit integers, equals the per-sample definition.
  const VxTestSignalFormat wide{1, 0, 3, 32, 32};
  std::vector<uint8_t> stretch(wide.BlockAlign() * 400);
  VxTestSignalFill(wide, 123456789, 400, stretch.data());
  for (uint32_t i = 0; i < 400; ++i)
    for (unsigned c = 0; c < 3; ++c) {
      int32_t sample = 0;
      std::memcpy(&sample, &stretch[(i * 3 + c) * 4], 4);
      ASSERT_EQ(VxTestSignalSample32(123456789 + i, c), sample) << i << " " << c;
    }
}

}  // namespace
