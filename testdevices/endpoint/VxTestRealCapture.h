// The real-capture mode of the test endpoint: an IAudioClient and its
// IAudioCaptureClient that forward to the system's own audio client on a real
// capture endpoint (for example a PulseAudio null sink's monitor), recording
// the calls like the test ones.
//
// The system's enumerator is reached by loading its server DLL (mmdevapi.dll)
// and calling its class object directly, because the class registration leads
// to the test endpoint itself. The loopback flag is taken out of Initialize's
// flags on the way through: a capture endpoint refuses it, and what the caller
// wants, the sound that plays, is what the monitor captures. Made by
// IMMDevice::Activate; owned by COM references.
#pragma once

#include <audioclient.h>
#include <mmdeviceapi.h>
#include <windows.h>

#include "foundation/VxHandle.h"
#include "testdevices/endpoint/VxTestAudioClientMethods.h"
#include "testdevices/endpoint/VxTestComObject.h"
#include "testdevices/endpoint/VxTestEndpointConfig.h"

class VxTestRealAudioClient final : public VxTestComObject<IAudioClient> {
 public:
  // Activates the system's audio client on the first active capture endpoint
  // whose friendly name contains `endpointName`; the failure otherwise.
  [[nodiscard]] static HRESULT Create(const std::wstring& endpointName,
                                      IAudioClient** out) noexcept;

  VX_TEST_AUDIO_CLIENT_METHODS

 private:
  VxTestRealAudioClient(VxComPtr<IMMDeviceEnumerator> enumerator,
                        VxComPtr<IMMDevice> device,
                        VxComPtr<IAudioClient> real) noexcept;
  ~VxTestRealAudioClient() override = default;

  // The system's enumerator and device stay referenced while their client lives.
  VxComPtr<IMMDeviceEnumerator> enumerator_;
  VxComPtr<IMMDevice> device_;
  VxComPtr<IAudioClient> real_;
};

class VxTestRealCaptureClient final : public VxTestComObject<IAudioCaptureClient> {
 public:
  explicit VxTestRealCaptureClient(VxComPtr<IAudioCaptureClient> real) noexcept;

  VX_TEST_CAPTURE_CLIENT_METHODS

 private:
  ~VxTestRealCaptureClient() override = default;

  VxComPtr<IAudioCaptureClient> real_;
  uint64_t position_ = 0;
};
