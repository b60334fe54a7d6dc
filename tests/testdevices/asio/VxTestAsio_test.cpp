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
  std::vector<ASIOBufferInfo> infos;
  std::atomic<int> switches{0}, wrongIndex{0}, copiedCallbacks{0};
  VxHandle enough{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  VxHandle disposed{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  VxHandle lateSwitchDone{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};
HostState g_host;

// The switch stop() leaves running (directProcess false) waits until the
// host disposed of the buffers, then touches one twice, as a careless host
// would; the first switch reads one byte past its half.
void BufferSwitch(long index, ASIOBool directProcess) {
  auto* half = static_cast<volatile unsigned char*>(g_host.infos[0].buffers[index]);
  if (!directProcess) {
    ::WaitForSingleObject(g_host.disposed.get(), kWaitMs);
    (void)half[0];
    (void)half[100];
    ::SetEvent(g_host.lateSwitchDone.get());
    return;
  }
  const int number = g_host.switches++;
  if (number == 0)
    (void)half[256 * 4];
  if (index != (number & 1))
    ++g_host.wrongIndex;
  if (number + 1 == 8)
    ::SetEvent(g_host.enough.get());
}
// The host changes its structure after createBuffers: a driver that copied it
// calls the first switch function.
ASIOCallbacks g_callbacks = {[](long, ASIOBool) { ++g_host.copiedCallbacks; },
                             [](ASIOSampleRate) {}, [](long, long, void*, double*) { return 0L; },
                             nullptr};

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
  }
  void TearDown() override { ::CoUninitialize(); }
};

TEST_F(TestAsio, ClassesAreApartmentThreadedAndUnregistrationRemovesTheKeys) {
  // Apartment, as real drivers are: a host that creates one from a
  // multithreaded apartment fails here as it would with them.
  for (int i = 0; i < kVxTestAsioDriverCount; ++i)
    EXPECT_EQ(
        ReadText(HKEY_CLASSES_ROOT, L"CLSID\\" + VxTestAsioClassIdText(i) + L"\\InprocServer32",
                 L"ThreadingModel"),
        L"Apartment");
  const std::wstring dll = VxTestAsioDefaultDllPath();
  ASSERT_TRUE(VxTestAsioUnregisterDll(dll));
  EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, L"CLSID\\" + VxTestAsioClassIdText(0), nullptr),
            L"<missing>");
  EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, L"Software\\ASIO\\VxTestAsio 1", L"CLSID"), L"<missing>");
  ASSERT_TRUE(VxTestAsioRegisterDll(dll));
}

// Halves alternate, or a host that always reads half 0 would pass. As strict
// as the strictest drivers: the host's callback structure is used, not a copy;
// IUnknown is a separate object; reading past a half is reported, and so is
// every touch of buffers disposed of while stop() has left a switch running.
TEST_F(TestAsio, HalvesAlternateAndEveryTouchWhereTheHostMustNotIsReported) {
  VxTestAsioConfig config;
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  config.logFile = temp + (L"vxtestasio-" + std::to_wstring(::GetCurrentProcessId()) + L".log");
  ::DeleteFileW(config.logFile.c_str());
  config.pace = VxTestAsioPace::kFast;
  config.stopWhileSwitching = true;
  config.switchCallback = VxTestAsioSwitchCallback::kBufferSwitch;
  ASSERT_TRUE(config.Save(3));
  IASIO* driver = nullptr;
  const CLSID& id = VxTestAsioClassId(3);
  ASSERT_EQ(
      ::CoCreateInstance(id, nullptr, CLSCTX_INPROC_SERVER, id, reinterpret_cast<void**>(&driver)),
      S_OK);
  ASSERT_EQ(driver->init(nullptr), ASIOTrue);
  IUnknown* identity = nullptr;
  ASSERT_EQ(driver->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  EXPECT_NE(static_cast<void*>(identity), static_cast<void*>(driver));
  long inputs = 0, outputs = 0;
  EXPECT_EQ(reinterpret_cast<IASIO*>(identity)->getChannels(&inputs, &outputs), ASE_NotPresent);
  identity->Release();
  g_host.infos = {{ASIOTrue, 0, {nullptr, nullptr}}, {ASIOTrue, 1, {nullptr, nullptr}}};
  ASSERT_EQ(driver->createBuffers(g_host.infos.data(), 2, 256, &g_callbacks), ASE_OK);
  g_callbacks.bufferSwitch = &BufferSwitch;
  ASSERT_EQ(driver->start(), ASE_OK);
  ASSERT_EQ(::WaitForSingleObject(g_host.enough.get(), kWaitMs), WAIT_OBJECT_0);
  EXPECT_EQ(driver->stop(), ASE_OK);  // returns while the late switch runs
  EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
  ::SetEvent(g_host.disposed.get());
  ASSERT_EQ(::WaitForSingleObject(g_host.lateSwitchDone.get(), kWaitMs), WAIT_OBJECT_0);
  EXPECT_EQ(driver->Release(), 0u);
  EXPECT_EQ(g_host.wrongIndex, 0);
  EXPECT_EQ(g_host.copiedCallbacks, 0);

  const auto log = VxTestAsioReadCallLog(config.logFile);
  std::vector<std::string> faults, notes;
  for (const VxTestAsioLogLine& line : log)
    if (line.tag == "FAULT")
      faults.push_back(line.name + " " + line.detail);
    else if (line.tag == "note" || line.tag == "LATE")
      notes.push_back(line.tag + " " + line.name);
  EXPECT_EQ(faults,
            (std::vector<std::string>{"getChannels called through IUnknown", "bufferOverrun ",
                                      "bufferTouched after disposeBuffers()",
                                      "bufferTouched after disposeBuffers()"}));
  // The final Release may come while the late switch is still returning.
  std::erase(notes, "note Release");
  EXPECT_EQ(notes, (std::vector<std::string>{"LATE bufferSwitch", "note disposeBuffers",
                                             "note bufferSwitch"}));
  EXPECT_EQ(VxTestAsioFind(log, "Release").back().result, "0");
}

// Recordings are checked byte for byte against this signal, which finds a
// swapped channel, a repeated block or bytes moved within a sample only if
// each of those changes the bytes; vxhost verify and the main job judge
// recordings with the checker.
TEST(TestAsioSignal, ChannelsBlocksAndBytesDifferAndTheCheckerCountsEveryAlteration) {
  for (ASIOSampleType type :
       {ASIOSTInt16LSB, ASIOSTInt24LSB, ASIOSTInt32LSB, ASIOSTFloat32LSB, ASIOSTFloat64LSB}) {
    SCOPED_TRACE(type);
    const int bytes = VxTestAsioBytesPerSample(type);
    const int channels = 3, offset = 2;
    const size_t frames = 1000, frameBytes = channels * bytes;
    std::vector<uint8_t> recording(frames * frameBytes);
    VxTestAsioFillInterleaved(type, offset, channels, 0, frames, recording.data());
    for (int b = type == ASIOSTFloat64LSB ? 2 : 0; b < bytes; ++b) {
      // (a 31-bit value leaves the two low mantissa bytes of a double zero)
      int differing = 0;
      for (size_t i = 1; i < 256; ++i)
        differing += recording[i * frameBytes + b] != recording[b];
      EXPECT_GT(differing, 0) << "byte " << b;
    }
    VxTestAsioSignalChecker exact(type, offset, channels);
    for (size_t done = 0, piece = 7; done < recording.size(); done += piece)
      exact.Check(recording.data() + done, std::min(piece, recording.size() - done));
    EXPECT_EQ(exact.Frames(), frames);
    EXPECT_EQ(exact.Mismatches(), 0u);
    // Channels and frames differ: a wrong channel offset and one frame
    // dropped from the middle show.
    VxTestAsioSignalChecker shifted(type, offset + 1, channels);
    shifted.Check(recording.data(), recording.size());
    EXPECT_GT(shifted.Mismatches(), frames);
    recording.erase(recording.begin() + 500 * frameBytes, recording.begin() + 501 * frameBytes);
    VxTestAsioSignalChecker gap(type, offset, channels);
    gap.Check(recording.data(), recording.size());
    EXPECT_GT(gap.Mismatches(), 400u);
    EXPECT_EQ(gap.Frames(), frames - 1);
  }
}

}  // namespace
