// The loopback source for "vxhost record": records what the default playback
// endpoint plays. With --test-endpoint the run puts VxTestEndpoint.dll from
// the host folder in front of the system's audio device enumerator in this
// prefix (and takes it away again afterwards), so there is something to
// record where the system cannot capture its own output; the endpoint then
// plays its deterministic test signal in the format the options give. With
// --real-capture the endpoint instead forwards the audio client to a real
// capture endpoint of the system (a PulseAudio null sink's monitor), so what
// another program plays reaches the loopback source.
#include <windows.h>

#include <cstdio>
#include <string>

#include "reference/host/VxConsoleText.h"
#include "reference/host/VxHostPlugin.h"
#include "reference/host/VxRecordSource.h"
#include "testdevices/endpoint/VxTestEndpointControl.h"

const wchar_t kLoopbackRecordOptions[] =
    L"  --test-endpoint     record the test endpoint (VxTestEndpoint.dll in the host\n"
    L"                      folder) instead of the system's default playback endpoint\n"
    L"  --endpoint-channels N, --endpoint-rate HZ, --endpoint-bits B\n"
    L"                      the test endpoint's mix format (default 2, 48000, 32)\n"
    L"  --endpoint-int      integer samples instead of float (with --test-endpoint)\n"
    L"  --real-capture      the test endpoint forwards to the system's capture endpoint\n"
    L"                      whose name contains \"Monitor\" (a PulseAudio null sink's\n"
    L"                      monitor): records what other programs play there\n"
    L"  --capture-endpoint NAME  another part of that endpoint's name\n"
    L"  The loopback source runs until --seconds or Ctrl+C.\n";

namespace {

class LoopbackRecordSource final : public VxRecordSource {
 public:
  ~LoopbackRecordSource() override { RemoveEndpoint(); }

  bool ParseOption(int argc, wchar_t** argv, int& i, std::wstring& error) override {
    const std::wstring a = argv[i];
    const wchar_t* v = nullptr;
    long long n = 0;
    if (a == L"--test-endpoint") {
      useTestEndpoint_ = true;
    } else if (a == L"--real-capture") {
      useTestEndpoint_ = true;
      config_.realCapture = 1;
    } else if (a == L"--capture-endpoint") {
      if (!(v = VxRecordOptionValue(argc, argv, i, error)))
        return false;
      config_.realCaptureEndpoint = v;
      captureEndpointGiven_ = true;
    } else if (a == L"--endpoint-int") {
      config_.subTag = 1;
    } else if (a == L"--endpoint-channels" || a == L"--endpoint-rate" || a == L"--endpoint-bits") {
      if (!(v = VxRecordOptionValue(argc, argv, i, error)))
        return false;
      const bool channels = a == L"--endpoint-channels";
      const bool rate = a == L"--endpoint-rate";
      if (!VxRecordParseInt(a.c_str(), v, channels ? 1 : (rate ? 8000 : 8),
                            channels ? 32 : (rate ? 384000 : 32), n, error))
        return false;
      (channels ? config_.channels
       : rate   ? config_.sampleRate
                : config_.bitsPerSample) = static_cast<uint32_t>(n);
      endpointFormatGiven_ = true;
    } else {
      error = L"unknown option " + a;
      return false;
    }
    return true;
  }

  bool CheckOptions(std::wstring& error) override {
    if (endpointFormatGiven_ && (!useTestEndpoint_ || config_.realCapture)) {
      error = L"--endpoint-... options need --test-endpoint (the real capture has its own format)";
      return false;
    }
    if (captureEndpointGiven_ && !config_.realCapture) {
      error = L"--capture-endpoint needs --real-capture";
      return false;
    }
    if (config_.bitsPerSample % 8 != 0 ||
        (config_.subTag == 3 && config_.bitsPerSample != 32 && config_.bitsPerSample != 64)) {
      error = L"--endpoint-bits: 8, 16, 24 or 32 for integers, 32 for float";
      return false;
    }
    // A mask with one bit per channel, the first channels in speaker order.
    config_.channelMask = config_.channels >= 32 ? 0xFFFFFFFFu : (1u << config_.channels) - 1;
    return true;
  }

  bool Prepare(HANDLE, std::wstring& error) override {
    if (!useTestEndpoint_)
      return true;
    const std::wstring dll = VxHostFolder() + L"VxTestEndpoint.dll";
    if (::GetFileAttributesW(dll.c_str()) == INVALID_FILE_ATTRIBUTES) {
      error = L"--test-endpoint: " + dll + L" is missing (vxhost layout copies it when built)";
      return false;
    }
    if (!config_.Write() || !VxTestEndpointControl::Install(dll)) {
      error = L"--test-endpoint: cannot register " + dll + L" for the device enumerator";
      RemoveEndpoint();
      return false;
    }
    installed_ = true;
    if (config_.realCapture) {
      VxPrint(stdout,
              L"Test endpoint in front of the device enumerator, forwarding to the system's "
              L"capture endpoint \"*%ls*\"\n",
              config_.realCaptureEndpoint.c_str());
      return true;
    }
    VxPrint(stdout, L"Test endpoint in front of the device enumerator: %u ch, %u Hz, %u-bit %ls\n",
            config_.channels, config_.sampleRate, config_.bitsPerSample,
            config_.subTag == 3 ? L"float" : L"integer");
    return true;
  }

  int32_t FactoryIndex() const override { return 1; }
  std::wstring Parameters(IVxAudioLive&) override { return L""; }

  bool Finish(const VxRecordOutcome&, std::wstring&) override {
    RemoveEndpoint();
    return true;
  }

 private:
  void RemoveEndpoint() {
    if (!installed_)
      return;
    installed_ = false;
    if (!VxTestEndpointControl::Remove())
      VxPrint(stderr, L"warning: could not restore the device enumerator's registration\n");
    VxTestEndpointConfig::Clear();
  }

  VxTestEndpointConfig config_;
  bool useTestEndpoint_ = false;
  bool endpointFormatGiven_ = false;
  bool captureEndpointGiven_ = false;
  bool installed_ = false;
};

}  // namespace

std::unique_ptr<VxRecordSource> CreateLoopbackRecordSource() {
  return std::make_unique<LoopbackRecordSource>();
}
