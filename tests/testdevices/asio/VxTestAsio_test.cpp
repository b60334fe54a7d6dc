// The test ASIO driver where a fault of its own would hide a fault of the
// host: registration as regsvr32 does it, the signal and its checker, buffer
// halves that alternate, and the report of a host that disposes of buffers
// under a switch that is still running.
#include <windows.h>
// after windows.h, which it needs
#include <objbase.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/VxHandle.h"
#include "testdevices/asio/VxTestAsioControl.h"

namespace {

constexpr DWORD kWaitMs = 20000;

std::wstring ReadText(HKEY root, const std::wstring& path, const wchar_t* name) {
  wchar_t value[MAX_PATH] = {};
  DWORD size = sizeof value - sizeof(wchar_t);
  if (::RegGetValueW(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) !=
      ERROR_SUCCESS)
    return L"<missing>";
  return value;
}

// What the host side saw; the callbacks carry no context, so it is global.
struct HostState {
  long bufferSize = 0;
  std::vector<ASIOBufferInfo> infos;
  std::vector<ASIOSampleType> types;
  std::atomic<int> switches{0}, wrongIndex{0}, mismatches{0};
  VxHandle enough{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  // The next switch waits until the host disposed, then touches a buffer.
  std::atomic<bool> holdNextSwitch{false};
  VxHandle disposed{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  VxHandle heldSwitchDone{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};
HostState* g_host = nullptr;

void BufferSwitch(long index, ASIOBool) {
  HostState& h = *g_host;
  const int number = h.switches++;
  if (index != (number & 1))
    ++h.wrongIndex;
  if (h.holdNextSwitch) {
    ::WaitForSingleObject(h.disposed.get(), kWaitMs);
    volatile unsigned char touched = *static_cast<unsigned char*>(h.infos[0].buffers[index]);
    (void)touched;
    ::SetEvent(h.heldSwitchDone.get());
    return;
  }
  std::vector<uint8_t> expected(8 * static_cast<size_t>(h.bufferSize));
  for (size_t c = 0; c < h.infos.size(); ++c) {
    VxTestAsioFillChannel(h.types[c], h.infos[c].channelNum,
                          static_cast<uint64_t>(number) * h.bufferSize, h.bufferSize,
                          expected.data());
    const size_t bytes = static_cast<size_t>(VxTestAsioBytesPerSample(h.types[c])) * h.bufferSize;
    if (std::memcmp(h.infos[c].buffers[index], expected.data(), bytes) != 0)
      ++h.mismatches;
  }
  if (number + 1 == 8)
    ::SetEvent(h.enough.get());
}
void SampleRateDidChange(ASIOSampleRate) {}
long AsioMessage(long, long, void*, double*) {
  return 0;
}
ASIOCallbacks g_callbacks = {&BufferSwitch, &SampleRateDidChange, &AsioMessage, nullptr};

class TestAsio : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Configurations of this program stay apart from any other's.
    ::SetEnvironmentVariableW(L"VXTESTASIO_ROOT",
                              (L"Test " + std::to_wstring(::GetCurrentProcessId())).c_str());
    ASSERT_TRUE(VxTestAsioRegisterDll(VxTestAsioDefaultDllPath()));
  }
  static void TearDownTestSuite() {
    ::RegDeleteTreeW(
        HKEY_CURRENT_USER,
        (L"Software\\VxTestAsio\\Test " + std::to_wstring(::GetCurrentProcessId())).c_str());
  }
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    g_host = &host_;
  }
  void TearDown() override {
    g_host = nullptr;
    ::CoUninitialize();
  }

  HostState host_;
};

TEST_F(TestAsio, RegistrationWritesClassAndAsioKeysOfEveryDriverAndUnregistrationRemovesThem) {
  const std::wstring dll = VxTestAsioDefaultDllPath();
  ASSERT_TRUE(VxTestAsioRegisterDll(dll));
  for (int i = 0; i < kVxTestAsioDriverCount; ++i) {
    const std::wstring id = VxTestAsioClassIdText(i);
    const std::wstring server = L"CLSID\\" + id + L"\\InprocServer32";
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, server, nullptr), dll);
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, server, L"ThreadingModel"), L"Apartment");
    const std::wstring asio = L"Software\\ASIO\\VxTestAsio " + std::to_wstring(i + 1);
    EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, asio, L"CLSID"), id);
    EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, asio, L"Description"),
              L"VxTestAsio " + std::to_wstring(i + 1));
  }
  ASSERT_TRUE(VxTestAsioUnregisterDll(dll));
  EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, L"CLSID\\" + VxTestAsioClassIdText(0), nullptr),
            L"<missing>");
  EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, L"Software\\ASIO\\VxTestAsio 1", L"CLSID"), L"<missing>");
  ASSERT_TRUE(VxTestAsioRegisterDll(dll));
}

// Halves alternate and carry the signal in every channel's own type; a host
// that disposes of the buffers while stop() has left a switch running, and
// then lets that switch touch them, is reported in this order.
TEST_F(TestAsio, HalvesAlternateAndDisposingUnderARunningSwitchIsReported) {
  VxTestAsioConfig config;
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  config.logFile = temp + (L"vxtestasio-" + std::to_wstring(::GetCurrentProcessId()) + L".log");
  ::DeleteFileW(config.logFile.c_str());
  config.pace = VxTestAsioPace::kFast;
  config.stopWhileSwitching = true;
  config.switchCallback = VxTestAsioSwitchCallback::kBufferSwitch;
  // Mixed types, every one of a different size or byte order.
  config.sampleTypes = {ASIOSTInt16LSB,   ASIOSTInt24MSB,    ASIOSTFloat64LSB,
                        ASIOSTInt32LSB20, ASIOSTDSDInt8NER8, ASIOSTFloat32MSB};
  ASSERT_TRUE(config.Save(3));
  IASIO* driver = nullptr;
  const CLSID& id = VxTestAsioClassId(3);
  ASSERT_EQ(
      ::CoCreateInstance(id, nullptr, CLSCTX_INPROC_SERVER, id, reinterpret_cast<void**>(&driver)),
      S_OK);
  ASSERT_EQ(driver->init(nullptr), ASIOTrue);
  host_.bufferSize = 128;
  host_.infos.assign(5, ASIOBufferInfo{});
  for (int i = 0; i < 5; ++i) {
    host_.infos[i] = {ASIOTrue, i + 1, {nullptr, nullptr}};
    ASIOChannelInfo info = {};
    info.channel = i + 1;
    info.isInput = ASIOTrue;
    EXPECT_EQ(driver->getChannelInfo(&info), ASE_OK);
    host_.types.push_back(info.type);
  }
  ASSERT_EQ(driver->createBuffers(host_.infos.data(), 5, 128, &g_callbacks), ASE_OK);
  ASSERT_EQ(driver->start(), ASE_OK);
  ASSERT_EQ(::WaitForSingleObject(host_.enough.get(), kWaitMs), WAIT_OBJECT_0);
  host_.holdNextSwitch = true;
  EXPECT_EQ(driver->stop(), ASE_OK);  // returns while the held switch runs
  EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
  ::SetEvent(host_.disposed.get());
  ASSERT_EQ(::WaitForSingleObject(host_.heldSwitchDone.get(), kWaitMs), WAIT_OBJECT_0);
  EXPECT_EQ(driver->Release(), 0u);
  EXPECT_EQ(host_.wrongIndex, 0);
  EXPECT_EQ(host_.mismatches, 0);

  const auto log = VxTestAsioReadCallLog(config.logFile);
  std::vector<std::string> faults, notes;
  for (const VxTestAsioLogLine& line : log)
    if (line.tag == "FAULT")
      faults.push_back(line.name + " " + line.detail);
    else if (line.tag == "note" || line.tag == "LATE")
      notes.push_back(line.tag + " " + line.name);
  EXPECT_EQ(faults, std::vector<std::string>{"bufferTouched after disposeBuffers()"});
  // The final Release may come while the held switch is still returning.
  std::erase(notes, "note Release");
  EXPECT_EQ(notes, (std::vector<std::string>{"LATE bufferSwitch", "note disposeBuffers",
                                             "note bufferSwitch"}));
  EXPECT_EQ(VxTestAsioFind(log, "Release").back().result, "0");
}

std::vector<uint8_t> Sample(ASIOSampleType type, int channel, uint64_t frame) {
  std::vector<uint8_t> bytes(VxTestAsioBytesPerSample(type));
  VxTestAsioSample(type, channel, frame, bytes.data());
  return bytes;
}

// The recordings of the source are checked against this signal: every type
// must carry the same wave in its own size and byte order, and channels and
// successive blocks must differ, or a swapped channel or repeated block passes.
TEST(TestAsioSignal, EveryTypeCarriesTheSameWaveAndNoTwoChannelsOrBlocksAgree) {
  const ASIOSampleType pairs[][2] = {
      {ASIOSTInt16LSB, ASIOSTInt16MSB},     {ASIOSTInt24LSB, ASIOSTInt24MSB},
      {ASIOSTInt32LSB, ASIOSTInt32MSB},     {ASIOSTFloat32LSB, ASIOSTFloat32MSB},
      {ASIOSTFloat64LSB, ASIOSTFloat64MSB}, {ASIOSTInt32LSB16, ASIOSTInt32MSB16},
      {ASIOSTInt32LSB24, ASIOSTInt32MSB24},
  };
  for (const auto& [lsbType, msbType] : pairs) {
    SCOPED_TRACE(lsbType);
    for (uint64_t frame : {0ull, 399ull, 123456789ull}) {
      for (int channel : {0, 31}) {
        const std::vector<uint8_t> lsb = Sample(lsbType, channel, frame);
        const std::vector<uint8_t> msb = Sample(msbType, channel, frame);
        EXPECT_EQ(std::vector<uint8_t>(msb.rbegin(), msb.rend()), lsb);
        const int32_t wave = VxTestAsioWave(channel, frame);
        int64_t whole = 0;  // the sample as an integer of its own width
        std::memcpy(&whole, lsb.data(), lsb.size());
        if (lsbType == ASIOSTFloat32LSB) {
          float f;
          std::memcpy(&f, lsb.data(), 4);
          EXPECT_NEAR(f, wave / 2147483648.0, 1e-7);
        } else if (lsbType == ASIOSTFloat64LSB) {
          double d;
          std::memcpy(&d, lsb.data(), 8);
          EXPECT_NEAR(d, wave / 2147483648.0, 1e-9);
        } else {
          const int bits = lsbType == ASIOSTInt32LSB16   ? 16
                           : lsbType == ASIOSTInt32LSB24 ? 24
                                                         : static_cast<int>(lsb.size()) * 8;
          const int shift = 64 - static_cast<int>(lsb.size()) * 8;
          EXPECT_EQ((whole << shift) >> shift, wave >> (32 - bits));
        }
      }
    }
  }
  EXPECT_NE(Sample(ASIOSTInt16LSB, 0, 100), Sample(ASIOSTInt16LSB, 1, 100));
  EXPECT_NE(Sample(ASIOSTInt16LSB, 0, 100), Sample(ASIOSTInt16LSB, 0, 100 + 256));
}

// vxhost verify and the main job judge recordings with this checker.
TEST(TestAsioSignal, CheckerPassesTheExactRecordingInAnyPiecesAndCountsEveryAlteredByte) {
  for (ASIOSampleType type :
       {ASIOSTInt16LSB, ASIOSTInt24LSB, ASIOSTInt32LSB, ASIOSTFloat32LSB, ASIOSTFloat64LSB}) {
    SCOPED_TRACE(type);
    const int channels = 3, offset = 2;
    const size_t frames = 1000;
    const size_t frameBytes = channels * VxTestAsioBytesPerSample(type);
    std::vector<uint8_t> recording(frames * frameBytes);
    VxTestAsioFillInterleaved(type, offset, channels, 0, frames, recording.data());

    VxTestAsioSignalChecker exact(type, offset, channels);
    for (size_t done = 0, piece = 7; done < recording.size(); done += piece)
      exact.Check(recording.data() + done, std::min(piece, recording.size() - done));
    EXPECT_EQ(exact.Frames(), frames);
    EXPECT_EQ(exact.Mismatches(), 0u);

    // Wrong channel offset, and one frame dropped from the middle.
    VxTestAsioSignalChecker shifted(type, offset + 1, channels);
    shifted.Check(recording.data(), recording.size());
    EXPECT_GT(shifted.Mismatches(), frames);
    std::vector<uint8_t> dropped = recording;
    dropped.erase(dropped.begin() + 500 * frameBytes, dropped.begin() + 501 * frameBytes);
    VxTestAsioSignalChecker gap(type, offset, channels);
    gap.Check(dropped.data(), dropped.size());
    EXPECT_GT(gap.Mismatches(), 400u);
    EXPECT_EQ(gap.Frames(), frames - 1);
  }
}

}  // namespace
