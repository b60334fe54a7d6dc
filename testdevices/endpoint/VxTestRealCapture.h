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
#include "testdevices/endpoint/VxTestComObject.h"
#include "testdevices/endpoint/VxTestEndpointConfig.h"

class VxTestRealAudioClient final : public VxTestComObject<IAudioClient> {
 public:
  // Activates the system's audio client on the first active capture endpoint
  // whose friendly name contains `endpointName`; the failure otherwise.
  [[nodiscard]] static HRESULT Create(const std::wstring& endpointName,
                                      IAudioClient** out) noexcept;

  HRESULT STDMETHODCALLTYPE Initialize(AUDCLNT_SHAREMODE shareMode,
                                       DWORD streamFlags,
                                       REFERENCE_TIME bufferDuration,
                                       REFERENCE_TIME periodicity,
                                       const WAVEFORMATEX* format,
                                       LPCGUID sessionGuid) noexcept override;
  HRESULT STDMETHODCALLTYPE GetBufferSize(UINT32* frames) noexcept override;
  HRESULT STDMETHODCALLTYPE GetStreamLatency(REFERENCE_TIME* latency) noexcept override;
  HRESULT STDMETHODCALLTYPE GetCurrentPadding(UINT32* frames) noexcept override;
  HRESULT STDMETHODCALLTYPE IsFormatSupported(AUDCLNT_SHAREMODE shareMode,
                                              const WAVEFORMATEX* format,
                                              WAVEFORMATEX** closest) noexcept override;
  HRESULT STDMETHODCALLTYPE GetMixFormat(WAVEFORMATEX** format) noexcept override;
  HRESULT STDMETHODCALLTYPE GetDevicePeriod(REFERENCE_TIME* defaultPeriod,
                                            REFERENCE_TIME* minimumPeriod) noexcept override;
  HRESULT STDMETHODCALLTYPE Start() noexcept override;
  HRESULT STDMETHODCALLTYPE Stop() noexcept override;
  HRESULT STDMETHODCALLTYPE Reset() noexcept override;
  HRESULT STDMETHODCALLTYPE SetEventHandle(HANDLE event) noexcept override;
  HRESULT STDMETHODCALLTYPE GetService(REFIID iid, void** out) noexcept override;

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

  HRESULT STDMETHODCALLTYPE GetBuffer(BYTE** data,
                                      UINT32* frames,
                                      DWORD* flags,
                                      UINT64* devicePosition,
                                      UINT64* qpcPosition) noexcept override;
  HRESULT STDMETHODCALLTYPE ReleaseBuffer(UINT32 frames) noexcept override;
  HRESULT STDMETHODCALLTYPE GetNextPacketSize(UINT32* frames) noexcept override;

 private:
  ~VxTestRealCaptureClient() override = default;

  VxComPtr<IAudioCaptureClient> real_;
  uint64_t position_ = 0;
};
