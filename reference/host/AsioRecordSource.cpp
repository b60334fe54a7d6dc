// The ASIO source for "vxhost record". Without options it opens the source
// with the settings stored by its dialog ("vxhost configure"), read back with
// GetInfo(3) as a real host does; any option names the driver, rate, channel
// count and first input channel itself, with defaults for the rest. COM is
// initialised on the recorder's thread first, because the source creates the
// driver object on the thread that opens it.
#include <windows.h>

#include <objbase.h>

#include <cstdio>
#include <string>

#include "foundation/VxHandle.h"
#include "foundation/VxString.h"
#include "foundation/VxUrl.h"
#include "reference/host/VxConsoleText.h"
#include "reference/host/VxRecordSource.h"

const wchar_t kAsioRecordOptions[] =
    L"                      without any of these: the stored settings (vxhost configure)\n"
    L"  --device ID         device ID of the driver, as \"vxhost drivers\" lists it\n"
    L"                      (default: the first driver listed)\n"
    L"  --rate R            sample rate in Hz (default 48000)\n"
    L"  --channels N        input channels to capture, 1 to 32 (default 2)\n"
    L"  --offset K          first input channel to capture (default 0)\n";

namespace {

constexpr int kInfoBufferChars = 1024;

// The first driver under HKLM\Software\ASIO with a "CLSID" value, as text.
std::wstring FirstListedDevice() {
  VxRegKey asio;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\ASIO", 0, KEY_READ, asio.put()) !=
      ERROR_SUCCESS)
    return {};
  std::wstring id;
  for (DWORD i = 0; id.empty(); ++i) {
    wchar_t name[256];
    DWORD length = 256;
    if (::RegEnumKeyExW(asio.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    wchar_t value[128] = {};
    DWORD bytes = sizeof value - sizeof(wchar_t);
    if (::RegGetValueW(asio.get(), name, L"CLSID", RRF_RT_REG_SZ, nullptr, value, &bytes) ==
        ERROR_SUCCESS)
      id = value;
  }
  return id;
}

class AsioRecordSource final : public VxRecordSource {
 public:
  ~AsioRecordSource() override {
    if (comInitialised_)
      ::CoUninitialize();
  }

  bool ParseOption(int argc, wchar_t** argv, int& i, std::wstring& error) override {
    const std::wstring a = argv[i];
    const wchar_t* v = nullptr;
    long long number = 0;
    givenOptions_ = true;
    if (a == L"--device") {
      if (!(v = VxRecordOptionValue(argc, argv, i, error)))
        return false;
      device_ = v;
    } else if (a == L"--rate" || a == L"--channels" || a == L"--offset") {
      if (!(v = VxRecordOptionValue(argc, argv, i, error)))
        return false;
      const long long high = a == L"--channels" ? 32 : (a == L"--rate" ? 10000000 : 1023);
      if (!VxRecordParseInt(a.c_str(), v, a == L"--channels" ? 1 : 0, high, number, error))
        return false;
      (a == L"--rate" ? rate_ : a == L"--channels" ? channels_ : offset_) = number;
    } else {
      error = L"unknown option " + a;
      return false;
    }
    return true;
  }

  bool Prepare(HANDLE, std::wstring& error) override {
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
      error = L"COM could not be initialised";
      return false;
    }
    comInitialised_ = true;
    if (device_.empty())
      device_ = FirstListedDevice();
    if (device_.empty()) {
      error = L"no ASIO driver is installed (see \"vxhost drivers\"); give --device";
      return false;
    }
    if (givenOptions_)
      VxPrint(stdout, L"ASIO device %ls, %lld Hz, %lld channel(s) from input %lld\n",
              device_.c_str(), rate_, channels_, offset_);
    return true;
  }

  int32_t FactoryIndex() const override { return 0; }
  bool SteadyClock() const override { return true; }

  std::wstring Parameters(IVxAudioLive& source) override {
    if (!givenOptions_) {
      wchar_t stored[kInfoBufferChars] = {};
      if (source.GetInfo(3, stored) == 1) {
        VxPrint(stdout, L"ASIO settings stored by the dialog: %ls\n", stored);
        return stored;
      }
    }
    const VxString encoded = VxUrlEncode(VxString(device_.c_str()));
    return L"deviceid=" + std::wstring(encoded.Wide()) + L"&samplerate=" + std::to_wstring(rate_) +
           L"&channels=" + std::to_wstring(channels_) + L"&channelshift=" +
           std::to_wstring(offset_);
  }

  bool Finish(const VxRecordOutcome&, std::wstring&) override { return true; }

 private:
  std::wstring device_;
  long long rate_ = 48000;
  long long channels_ = 2;
  long long offset_ = 0;
  bool comInitialised_ = false;
  bool givenOptions_ = false;
};

}  // namespace

std::unique_ptr<VxRecordSource> CreateAsioRecordSource() {
  return std::make_unique<AsioRecordSource>();
}
