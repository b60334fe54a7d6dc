// The test endpoint where a fault of its own would hide a fault of the
// loopback source: that taking it away gives the system's enumerator back,
// that its record shows what a careless caller did (unreleased packets,
// threads without COM, callbacks left registered, objects left alive), and
// that its signal has the documented values the main job's recording check
// computes.
#include <audioclient.h>
#include <endpointvolume.h>
#include <mmdeviceapi.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cwchar>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "foundation/VxHandle.h"
#include "testdevices/endpoint/VxTestEndpointControl.h"
#include "testdevices/endpoint/VxTestEndpointRegistration.h"
#include "tests/support/VxFunctionPatch.h"

namespace {

constexpr wchar_t kServer[] =
    L"Software\\Classes\\CLSID\\{BCDE0395-E52F-467C-8E3D-C4579291692E}\\InprocServer32";
constexpr wchar_t kUserClass[] =
    L"Software\\Classes\\CLSID\\{BCDE0395-E52F-467C-8E3D-C4579291692E}";

// Type and bytes of the server key's two values, "missing" for an absent one.
std::vector<std::wstring> Snapshot(HKEY root) {
  std::vector<std::wstring> out;
  VxRegKey key;
  const bool open = ::RegOpenKeyExW(root, kServer, 0, KEY_READ, key.put()) == ERROR_SUCCESS;
  for (const wchar_t* name : {static_cast<const wchar_t*>(nullptr), L"ThreadingModel"}) {
    BYTE bytes[1024];
    DWORD type = 0, size = sizeof bytes;
    if (!open || ::RegQueryValueExW(key.get(), name, nullptr, &type, bytes, &size) != ERROR_SUCCESS)
      out.push_back(L"missing");
    else
      out.push_back(std::to_wstring(type) + L":" +
                    std::wstring(reinterpret_cast<wchar_t*>(bytes), size / sizeof(wchar_t)));
  }
  return out;
}

void SetValue(HKEY root, const wchar_t* name, DWORD type, const wchar_t* text) {
  if (!text) {
    VxRegKey key;
    if (::RegOpenKeyExW(root, kServer, 0, KEY_WRITE, key.put()) == ERROR_SUCCESS)
      ::RegDeleteValueW(key.get(), name);
    return;
  }
  ASSERT_EQ(ERROR_SUCCESS, ::RegSetKeyValueW(root, kServer, name, type, text,
                                             static_cast<DWORD>((wcslen(text) + 1) * 2)));
}

// Install, a second install (as by a program that died with it installed),
// then one removal: the registry holds exactly what it held, type and bytes,
// and keys the endpoint created are gone, whichever classes it used.
TEST(EndpointRegistration, RemovalRestoresTheExactTypeAndBytesAfterASecondInstall) {
  ASSERT_TRUE(VxTestEndpointControl::Remove());
  const std::vector<std::wstring> machine = Snapshot(HKEY_LOCAL_MACHINE);
  const struct {
    const char* name;
    const wchar_t* force;  // VXTESTENDPOINT_MACHINE
    const wchar_t *server, *model;
  } cases[] = {
      {"machine, as on Windows", nullptr, L"%SystemRoot%\\System32\\MMDevApi.dll", L"Both"},
      {"machine, no threading model", nullptr, L"%SystemRoot%\\System32\\MMDevApi.dll", nullptr},
      {"per user, forced", L"0", nullptr, nullptr},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    ::SetEnvironmentVariableW(L"VXTESTENDPOINT_MACHINE", test.force);
    const HKEY root = test.force ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    if (test.server) {
      SetValue(root, nullptr, REG_EXPAND_SZ, test.server);
      SetValue(root, L"ThreadingModel", REG_SZ, test.model);
    }
    const std::vector<std::wstring> before = Snapshot(root);
    VxRegKey user;
    const bool userClassBefore =
        ::RegOpenKeyExW(HKEY_CURRENT_USER, kUserClass, 0, KEY_READ, user.put()) == ERROR_SUCCESS;
    user.reset();
    ASSERT_TRUE(VxTestEndpointControl::Install());
    ASSERT_TRUE(VxTestEndpointControl::Install());
    EXPECT_NE(before, Snapshot(root));
    if (!test.force) {
      EXPECT_TRUE(VxTestEndpointControl::IsInstalled());
    }
    EXPECT_TRUE(VxTestEndpointControl::Remove());
    EXPECT_EQ(before, Snapshot(root));
    EXPECT_EQ(userClassBefore, ::RegOpenKeyExW(HKEY_CURRENT_USER, kUserClass, 0, KEY_READ,
                                               user.put()) == ERROR_SUCCESS);
    user.reset();
  }
  ::SetEnvironmentVariableW(L"VXTESTENDPOINT_MACHINE", nullptr);
  // The prefix's own registration back as it was.
  const auto restore = [](const std::wstring& saved, const wchar_t* name) {
    if (saved == L"missing")
      return SetValue(HKEY_LOCAL_MACHINE, name, REG_SZ, nullptr);
    const size_t colon = saved.find(L':');
    SetValue(HKEY_LOCAL_MACHINE, name, std::stoul(saved.substr(0, colon)),
             saved.substr(colon + 1).c_str());
  };
  restore(machine[0], nullptr);
  restore(machine[1], L"ThreadingModel");
  EXPECT_EQ(machine, Snapshot(HKEY_LOCAL_MACHINE));
}

// A volume callback that lives on the stack.
#pragma GCC diagnostic push  // COM interfaces end through Release, not a destructor
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class Callback final : public IAudioEndpointVolumeCallback {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out =
        iid == __uuidof(IUnknown) || iid == __uuidof(IAudioEndpointVolumeCallback) ? this : nullptr;
    return *out ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE OnNotify(AUDIO_VOLUME_NOTIFICATION_DATA*) override { return S_OK; }
};
#pragma GCC diagnostic pop

VxComPtr<IMMDevice> DefaultDevice() {
  VxComPtr<IMMDeviceEnumerator> enumerator;
  VxComPtr<IMMDevice> device;
  EXPECT_EQ(S_OK, ::CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_INPROC_SERVER,
                                     __uuidof(IMMDeviceEnumerator),
                                     reinterpret_cast<void**>(enumerator.put())));
  if (enumerator) {
    EXPECT_EQ(S_OK, enumerator->GetDefaultAudioEndpoint(eRender, eConsole, device.put()));
  }
  return device;
}

// COM for the test's thread; every object is released before it ends.
class EndpointRecord : public ::testing::Test {
  void SetUp() override {
    ASSERT_HRESULT_SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED));
  }
  void TearDown() override { ::CoUninitialize(); }
};

// The source's tests trust the record to flag these; each must show.
TEST_F(EndpointRecord, ShowsUnreleasedPacketsThreadsWithoutComAndWhatWasLeftAlive) {
  wchar_t dir[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, dir);
  VxTestEndpointConfig config;
  config.realTime = 0;
  config.recordFile = std::wstring(dir) + L"vx_test_endpoint_record.txt";
  ASSERT_TRUE(VxTestEndpointControl::ResetRecord(config.recordFile));
  VxTestEndpointScope scope(config);
  ASSERT_TRUE(scope.ok());
  const auto record = [&] { return VxTestEndpointControl::ReadRecord(config.recordFile); };

  Callback callback;
  {  // left registered when its volume object goes
    VxComPtr<IAudioEndpointVolume> volume;
    ASSERT_EQ(S_OK, DefaultDevice()->Activate(__uuidof(IAudioEndpointVolume), CLSCTX_ALL, nullptr,
                                              reinterpret_cast<void**>(volume.put())));
    ASSERT_EQ(S_OK, volume->RegisterControlChangeNotify(&callback));
  }
  EXPECT_EQ(1u, VxTestEndpointControl::Summarize(record()).callbacksLeft);

  // A loopback capture set up as a recorder does.
  VxComPtr<IAudioClient> client;
  VxComPtr<IAudioCaptureClient> capture;
  ASSERT_EQ(S_OK, DefaultDevice()->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                            reinterpret_cast<void**>(client.put())));
  WAVEFORMATEX* format = nullptr;
  ASSERT_EQ(S_OK, client->GetMixFormat(&format));
  const HRESULT hr = client->Initialize(AUDCLNT_SHAREMODE_SHARED, AUDCLNT_STREAMFLAGS_LOOPBACK, 0,
                                        0, format, nullptr);
  ::CoTaskMemFree(format);
  ASSERT_EQ(S_OK, hr);
  ASSERT_EQ(S_OK, client->GetService(__uuidof(IAudioCaptureClient),
                                     reinterpret_cast<void**>(capture.put())));
  ASSERT_EQ(S_OK, client->Start());
  // Takes one packet on a thread of its own; gives the thread's id.
  auto takePacket = [&](bool withCom, bool release) {
    unsigned long id = 0;
    std::thread([&] {
      id = ::GetCurrentThreadId();
      if (withCom) {
        ASSERT_HRESULT_SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
      }
      UINT32 frames = 0;
      BYTE* data = nullptr;
      DWORD flags = 0;
      EXPECT_EQ(S_OK, capture->GetBuffer(&data, &frames, &flags, nullptr, nullptr));
      if (release) {
        EXPECT_EQ(S_OK, capture->ReleaseBuffer(frames));
      }
      if (withCom)
        ::CoUninitialize();
    }).join();
    return id;
  };
  const unsigned long staThread = takePacket(true, true);
  EXPECT_TRUE(VxTestEndpointControl::Summarize(record()).paired);
  const unsigned long plainThread = takePacket(false, false);
  EXPECT_FALSE(VxTestEndpointControl::Summarize(record()).paired);
  EXPECT_GT(VxTestEndpointControl::WriteLiveObjects(), 0u);
  capture.reset();
  client.reset();
  EXPECT_EQ(0u, VxTestEndpointControl::WriteLiveObjects());

  std::map<unsigned long, VxTestRecordLine> calls;
  for (const VxTestRecordLine& line : record())
    if (line.event == "GetBuffer")
      calls[line.tid] = line;
  ASSERT_EQ(2u, calls.size());
  EXPECT_TRUE(calls[staThread].com);
  // in the process's multithreaded apartment, but only implicitly
  EXPECT_FALSE(calls[plainThread].com);
}

// As the system's engine: only the mix format is accepted; packets carry
// flags (the first after Start and after a gap a discontinuity, every fourth
// silent, with the signal's bytes all the same); a device once invalidated
// fails every later call, Stop included, and never comes back.
TEST_F(EndpointRecord, AcceptsOnlyTheMixFormatFlagsPacketsAndStaysInvalidated) {
  VxTestEndpointConfig config;
  config.realTime = 0;
  config.packetFrames = 100;
  config.gapAfterFrames = 500;
  config.gapMs = 1;
  config.failStreamAfterFrames = 800;
  config.failStreamMs = 1;  // ignored: an invalidated device stays so
  VxTestEndpointScope scope(config);
  ASSERT_TRUE(scope.ok());
  VxComPtr<IAudioClient> client;
  ASSERT_EQ(S_OK, DefaultDevice()->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                            reinterpret_cast<void**>(client.put())));
  WAVEFORMATEX* mix = nullptr;
  ASSERT_EQ(S_OK, client->GetMixFormat(&mix));
  WAVEFORMATEXTENSIBLE other = *reinterpret_cast<WAVEFORMATEXTENSIBLE*>(mix);
  ::CoTaskMemFree(mix);
  other.dwChannelMask = 4;
  EXPECT_EQ(AUDCLNT_E_UNSUPPORTED_FORMAT,
            client->Initialize(AUDCLNT_SHAREMODE_SHARED, AUDCLNT_STREAMFLAGS_LOOPBACK, 0, 0,
                               &other.Format, nullptr));
  other.dwChannelMask = 3;
  ASSERT_EQ(S_OK, client->Initialize(AUDCLNT_SHAREMODE_SHARED, AUDCLNT_STREAMFLAGS_LOOPBACK, 0, 0,
                                     &other.Format, nullptr));
  VxComPtr<IAudioCaptureClient> capture;
  ASSERT_EQ(S_OK, client->GetService(__uuidof(IAudioCaptureClient),
                                     reinterpret_cast<void**>(capture.put())));
  ASSERT_EQ(S_OK, client->Start());
  std::vector<DWORD> flags;
  std::vector<uint8_t> bytes;
  HRESULT hr = S_OK;
  while (flags.size() < 20) {
    BYTE* data = nullptr;
    UINT32 frames = 0;
    DWORD f = 0;
    hr = capture->GetBuffer(&data, &frames, &f, nullptr, nullptr);
    if (FAILED(hr))
      break;
    if (frames == 0)
      continue;  // in the gap
    flags.push_back(f);
    bytes.insert(bytes.end(), data, data + frames * 8);
    EXPECT_EQ(S_OK, capture->ReleaseBuffer(frames));
  }
  EXPECT_EQ(AUDCLNT_E_DEVICE_INVALIDATED, hr);
  EXPECT_EQ((std::vector<DWORD>{1, 0, 0, 2, 0, 1, 0, 2}), flags);
  EXPECT_EQ(VxTestEndpointControl::ExpectedBytes(config, 0, 800), bytes);
  ::Sleep(5);  // past the stretch's length, which an invalidated device ignores
  UINT32 size = 0;
  EXPECT_EQ(AUDCLNT_E_DEVICE_INVALIDATED, capture->GetNextPacketSize(&size));
  EXPECT_EQ(AUDCLNT_E_DEVICE_INVALIDATED, capture->ReleaseBuffer(0));
  EXPECT_EQ(AUDCLNT_E_DEVICE_INVALIDATED, client->Stop());
  EXPECT_EQ(AUDCLNT_E_DEVICE_INVALIDATED, client->Start());
}

// Frame 0 of channel 0 is the wave's minimum, half of full scale negative, in
// integer and float samples; the low byte of wide samples carries frame and channel
// and is cut away below the valid bits.
// Counts FreeLibrary calls made by a thread that holds the loader lock, as
// from a DLL's detach: Windows forbids them there, and Wine 10 deadlocks
// when the library is the system's audio DLL.
std::atomic<int> g_freesUnderLoaderLock{0};
LONG(NTAPI* g_unload)(HMODULE) = nullptr;
BOOL WINAPI WatchedFreeLibrary(HMODULE module) {
  uint8_t* peb = nullptr;
  asm volatile("movq %%gs:0x60, %0" : "=r"(peb));  // TEB.ProcessEnvironmentBlock
  auto* lock = *reinterpret_cast<RTL_CRITICAL_SECTION**>(peb + 0x110);  // PEB.LoaderLock
  if (lock && reinterpret_cast<ULONG_PTR>(lock->OwningThread) == ::GetCurrentThreadId())
    ++g_freesUnderLoaderLock;
  return g_unload(module) >= 0;
}

// Forwarding to the system's enumerator loads its DLL; the endpoint must not
// free it again when COM unloads the endpoint.
TEST(EndpointModule, FreesNoLibraryWhenUnloaded) {
  VxTestEndpointConfig config;
  config.realCapture = 1;
  VxTestEndpointScope scope(config);
  ASSERT_TRUE(scope.ok());
  ASSERT_HRESULT_SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED));
  {
    VxComPtr<IAudioClient> client;
    (void)DefaultDevice()->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                    reinterpret_cast<void**>(client.put()));
  }
  ASSERT_NE(::GetModuleHandleW(L"VxTestEndpoint.dll"), nullptr);
  g_unload = reinterpret_cast<decltype(g_unload)>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "LdrUnloadDll")));
  {
    VxFunctionPatch watch(L"kernel32.dll", "FreeLibrary",
                          reinterpret_cast<void*>(&WatchedFreeLibrary));
    ASSERT_TRUE(watch.Installed());
    ::CoUninitialize();
    ASSERT_EQ(::GetModuleHandleW(L"VxTestEndpoint.dll"), nullptr) << "COM kept the endpoint";
  }
  EXPECT_EQ(g_freesUnderLoaderLock.load(), 0);
}

TEST(EndpointSignal, SamplesHaveTheDocumentedValues) {
  struct Case {
    uint16_t tag, sub, bits, valid;
    std::vector<uint8_t> frame0;
  } cases[] = {
      {1, 0, 16, 16, {0x00, 0xC0}},
      {0xFFFE, 1, 32, 20, {0x00, 0x00, 0x00, 0xC0}},
      {3, 0, 32, 32, {0x00, 0x00, 0x00, 0xBF}},
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
