// vxhost validate [PLUGIN.dll]: whether a plug-in build keeps the contract the
// host relies on (VxPluginValidator.h), one line per check and a summary.
// Exit code 0 only when every check ran and passed.
//
// The devices the stream checks need come from the host folder and are put in
// place for the run only: the test ASIO driver (registered when no driver of
// it is, unregistered afterwards), the test endpoint in front of the device
// enumerator (only under Wine: on Windows the loopback checks are skipped), and
// vxproducer.exe for the IPC source. When a call into the
// plug-in hangs, the command reports it, cleans up and ends the process
// without waiting for the hung thread.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "foundation/VxString.h"
#include "foundation/VxUrl.h"
#include "reference/host/VxConsoleText.h"
#include "reference/host/VxHostCommands.h"
#include "reference/host/VxHostPlugin.h"
#include "reference/host/VxPluginValidator.h"
#include "testdevices/endpoint/VxTestEndpointControl.h"
#include "testdevices/endpoint/VxTestEndpointRegistration.h"

namespace {

constexpr wchar_t kSettingsRoot[] = L"vxhost-validate";
constexpr wchar_t kSettingsPath[] = L"Software\\Vexmoor\\VxTools Reference\\vxhost-validate";
constexpr wchar_t kTestAsioDevice[] = L"{0B8E5D12-7C3A-4E6F-9D21-4A5B6C7D8E01}";
constexpr wchar_t kTestAsioSettings[] = L"Software\\VxTestAsio\\vxhost-validate";

bool Exists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The device ID of every driver under HKLM\Software\ASIO, in listing order.
std::vector<std::wstring> ListedAsioDevices() {
  std::vector<std::wstring> ids;
  VxRegKey asio;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\ASIO", 0, KEY_READ, asio.put()) !=
      ERROR_SUCCESS)
    return ids;
  wchar_t name[256];
  DWORD length = 256;
  for (DWORD i = 0; ::RegEnumKeyExW(asio.get(), i, name, &length, nullptr, nullptr, nullptr,
                                    nullptr) == ERROR_SUCCESS;
       ++i, length = 256) {
    wchar_t value[128] = {};
    DWORD bytes = sizeof value - sizeof(wchar_t);
    if (::RegGetValueW(asio.get(), name, L"CLSID", RRF_RT_REG_SZ, nullptr, value, &bytes) ==
        ERROR_SUCCESS)
      ids.push_back(value);
  }
  return ids;
}

// The parameter string's receiver for openers that ask the source for stored
// settings; the validator's openers never do.
class NoSource final : public IVxAudioLive {
 public:
  void* DeletingDestructor(unsigned int) noexcept override { return this; }
  int32_t Open(const char16_t*, IVxAudioLiveSink*) noexcept override { return -1; }
  int32_t GetInfo(int32_t, void*) noexcept override { return -1; }
  int32_t Reserved(int32_t, void*) noexcept override { return -1; }
  int32_t Configure(int32_t, HWND) noexcept override { return -1; }
};

// The devices of one validation run, put in place by Prepare and taken away
// by the destructor.
class Devices {
 public:
  ~Devices() { Remove(); }

  void Remove() {
    endpoint_.reset();
    if (asioRegisteredHere_ && asio_) {
      using Unregister = HRESULT (*)();
      if (auto unregister = reinterpret_cast<Unregister>(
              reinterpret_cast<void*>(::GetProcAddress(asio_.get(), "DllUnregisterServer"))))
        (void)unregister();
    }
    asioRegisteredHere_ = false;
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kTestAsioSettings);
  }

  void Prepare() {
    const std::wstring folder = VxHostFolder();
    // The test driver reads its configuration from a root of its own, so
    // settings other runs left for it do not count here.
    ::SetEnvironmentVariableW(L"VXTESTASIO_ROOT", kSettingsRoot);
    const std::vector<std::wstring> listed = ListedAsioDevices();
    if (Exists(folder + L"VxTestAsio.dll")) {
      asioDevice_ = kTestAsioDevice;
      bool registered = false;
      for (const std::wstring& id : listed)
        registered = registered || _wcsicmp(id.c_str(), kTestAsioDevice) == 0;
      if (!registered) {
        using Register = HRESULT (*)();
        asio_.reset(::LoadLibraryW((folder + L"VxTestAsio.dll").c_str()));
        auto doRegister = asio_ ? reinterpret_cast<Register>(reinterpret_cast<void*>(
                                      ::GetProcAddress(asio_.get(), "DllRegisterServer")))
                                : nullptr;
        asioRegisteredHere_ = doRegister && doRegister() == S_OK;
        if (!asioRegisteredHere_)
          asioDevice_.clear();
      }
      // Told to run its device from a window of the thread that initialises
      // it, as many real drivers do: it streams only when init() is called
      // on a thread that dispatches messages afterwards, as a host's is. And
      // every instance drives the same hardware, so that a second source of
      // the device that reaches the first one's stream is seen.
      const DWORD on = 1;
      for (const wchar_t* option : {L"InitPostsMessage", L"SharedHardware"})
        if (!asioDevice_.empty())
          (void)::RegSetKeyValueW(
              HKEY_CURRENT_USER,
              (std::wstring(kTestAsioSettings) + L"\\" + kTestAsioDevice).c_str(), option,
              REG_DWORD, &on, sizeof on);
    } else if (!listed.empty()) {
      asioDevice_ = listed.front();
    }
    // On Windows the system's audio is left alone: the loopback checks run
    // only where the endpoint cannot touch a real machine's devices.
    endpointAllowed_ = VxTestEndpointRegistration::UnderWine();
    if (endpointAllowed_ && Exists(folder + L"VxTestEndpoint.dll")) {
      endpoint_ = std::make_unique<VxTestEndpointScope>(VxTestEndpointConfig{});
      if (!endpoint_->ok())
        endpoint_.reset();
    }
    producer_ = Exists(folder + L"vxproducer.exe");
  }

  bool Get(const std::wstring& name, VxStreamDevice& device, std::wstring& why) {
    if (name == L"ASIO") {
      if (asioDevice_.empty())
        why = L"no ASIO driver listed and no VxTestAsio.dll in the host folder";
      else
        device.parameters = L"deviceid=" +
                            std::wstring(VxUrlEncode(VxString(asioDevice_.c_str())).Wide()) +
                            L"&samplerate=48000&channels=2&channelshift=0";
      return !asioDevice_.empty();
    }
    if (name == L"Loopback") {
      why = endpointAllowed_
                ? L"no VxTestEndpoint.dll in the host folder (or it cannot be put in place)"
                : L"the test endpoint is put in place only under Wine";
      return endpoint_ != nullptr;
    }
    if (name == L"IPC") {
      if (!producer_) {
        why = L"no vxproducer.exe in the host folder";
        return false;
      }
      device.opener = CreateIpcRecordSource();
      wchar_t option0[] = L"--quiet-producer", option1[] = L"--producer",
              value[] = L"--sine --rate 48000 --channels 2 --bits 24 --duration 60 --realtime";
      wchar_t* argv[] = {option0, option1, value};
      int i = 0;
      std::wstring error;
      HANDLE neverSet = stop_.get();
      if (!device.opener->ParseOption(3, argv, i, error) ||
          !device.opener->ParseOption(3, argv, ++i, error) ||
          !device.opener->Prepare(neverSet, error)) {
        why = L"the producer did not start: " + error;
        return false;
      }
      NoSource none;
      device.parameters = device.opener->Parameters(none);
      return true;
    }
    why = L"no device is known for a source of this name";
    return false;
  }

 private:
  VxModule asio_;
  bool asioRegisteredHere_ = false;
  std::wstring asioDevice_;
  std::unique_ptr<VxTestEndpointScope> endpoint_;
  bool endpointAllowed_ = false;
  bool producer_ = false;
  VxHandle stop_{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

struct Tally {
  int passed = 0, failed = 0, skipped = 0;
};

void Print(const VxCheckResult& r, Tally& tally) {
  const wchar_t* verdict = L"PASS";
  if (r.verdict == VxCheckResult::Verdict::kFail) {
    verdict = L"FAIL";
    tally.failed++;
  } else if (r.verdict == VxCheckResult::Verdict::kSkip) {
    verdict = L"SKIP";
    tally.skipped++;
  } else {
    tally.passed++;
  }
  VxPrint(stdout, L"%ls  %-28ls %7.0f ms  expected: %ls | seen: %ls\n", verdict, r.name.c_str(),
          r.ms, r.expected.c_str(), r.seen.c_str());
  std::fflush(stdout);
}

int RunValidateCommand(int argc, wchar_t** argv) {
  if (argc > 1 || (argc == 1 && argv[0][0] == L'-')) {
    const bool help = argc == 1 && (wcscmp(argv[0], L"--help") == 0 || wcscmp(argv[0], L"-h") == 0);
    VxPrint(help ? stdout : stderr,
            L"usage: vxhost validate [PLUGIN.dll]\n"
            L"  Checks a plug-in build (default: VxLive.dll in the host folder) through its\n"
            L"  raw tables: factory, info codes, Reserved, Configure (a settings dialog is\n"
            L"  cancelled), Open with empty and\n"
            L"  malformed strings, create/open/delete cycles, a stream from the test\n"
            L"  devices and a producer in the host folder, delete while streaming, two\n"
            L"  sources of one sound card, a delete while the host holds a switch, and the\n"
            L"  registration keys. One line per check; exit code 0 when all pass.\n");
    return help ? 0 : 2;
  }
  const std::wstring path =
      argc == 1 ? VxHostAbsolutePath(argv[0]) : VxHostFolder() + L"VxLive.dll";
  const ULONGLONG start = ::GetTickCount64();
  VxPrint(stdout, L"Validating %ls\n", path.c_str());
  Tally tally;
  VxHostPlugin host;
  if (host.LoadTools()) {
    host.SetToolsOption(L"VXTOOLS_SETTINGS_ROOT", kSettingsRoot);
    host.SetToolsOption(L"VXTOOLS_HEADLESS", L"1");  // a message box must not wait for a user
  }
  VxCheckResult load{L"load"};
  load.expected = L"the module loads and exports GetLivePlugin and DllRegisterServer";
  if (!Exists(path) || !host.LoadPlugin(path)) {
    load.verdict = VxCheckResult::Verdict::kFail;
    load.seen = Exists(path) ? host.Error() : path + L" does not exist";
    Print(load, tally);
    VxPrint(stdout, L"Summary: 1 check, 0 passed, 1 failed\n");
    return 1;
  }
  load.seen = L"both exports";
  Print(load, tally);

  Devices devices;
  devices.Prepare();
  VxValidatorSetup setup;
  setup.factory = reinterpret_cast<VxRawFactory>(host.GetLivePlugin());
  setup.registerServer = host.DllRegisterServer();
  setup.pluginPath = host.PluginPath();
  setup.settingsRoot = kSettingsPath;
  setup.streamDevice = [&](const std::wstring& name, VxStreamDevice& device, std::wstring& why) {
    return devices.Get(name, device, why);
  };
  setup.report = [&](const VxCheckResult& r) { Print(r, tally); };
  VxPluginValidator validator(std::move(setup));
  validator.Run();

  const int total = tally.passed + tally.failed + tally.skipped;
  VxPrint(stdout, L"Summary: %d checks, %d passed, %d failed, %d skipped in %.1f s: %ls\n", total,
          tally.passed, tally.failed, tally.skipped, (::GetTickCount64() - start) / 1000.0,
          tally.failed    ? L"the plug-in breaks the contract"
          : tally.skipped ? L"not every check could run"
                          : L"the plug-in keeps the contract");
  std::fflush(stdout);
  const int rc = tally.failed || tally.skipped ? 1 : 0;
  if (validator.AnyHung()) {
    // A hung call still runs inside the plug-in: unloading it, or the
    // process's normal end, could wait for it forever.
    devices.Remove();
    std::fflush(stdout);
    std::fflush(stderr);
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(rc));
  }
  return rc;
}

const VxHostCommandRegistration kRegistration{
    {L"validate", L"[PLUGIN.dll]",
     L"checks that a plug-in build keeps the host's contract, one line per check",
     RunValidateCommand}};

}  // namespace
