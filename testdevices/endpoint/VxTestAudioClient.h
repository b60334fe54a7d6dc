// IAudioClient of one test endpoint, and the IAudioCaptureClient it serves.
//
// Made by IMMDevice::Activate; owned by its COM references. The capture client
// holds a reference to the audio client, as the system's does, so the stream
// outlives whichever is released first. Every call is recorded with its
// thread; the configured faults answer instead of the real work.
#pragma once

#include <audioclient.h>
#include <windows.h>

#include <atomic>
#include <memory>

#include "testdevices/endpoint/VxTestComObject.h"
#include "testdevices/endpoint/VxTestEndpointConfig.h"
#include "testdevices/endpoint/VxTestStream.h"

class VxTestAudioClient final : public VxTestComObject<IAudioClient> {
 public:
  VxTestAudioClient(const VxTestEndpointConfig& config, uint32_t endpoint) noexcept;

  VxTestStream& Stream() noexcept { return stream_; }

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

  // The configured mix format, allocated with CoTaskMemAlloc: an extensible
  // structure for tag 0xFFFE, a plain 18-byte one otherwise.
  static WAVEFORMATEX* NewMixFormat(const VxTestEndpointConfig& config) noexcept;

 private:
  ~VxTestAudioClient() override;

  const VxTestEndpointConfig config_;
  const uint32_t endpoint_;
  VxTestStream stream_;
  std::atomic<bool> initialized_{false};
  std::atomic<bool> started_{false};
};

class VxTestCaptureClient final : public VxTestComObject<IAudioCaptureClient> {
 public:
  explicit VxTestCaptureClient(VxTestAudioClient* client) noexcept;

  HRESULT STDMETHODCALLTYPE GetBuffer(BYTE** data,
                                      UINT32* frames,
                                      DWORD* flags,
                                      UINT64* devicePosition,
                                      UINT64* qpcPosition) noexcept override;
  HRESULT STDMETHODCALLTYPE ReleaseBuffer(UINT32 frames) noexcept override;
  HRESULT STDMETHODCALLTYPE GetNextPacketSize(UINT32* frames) noexcept override;

 private:
  ~VxTestCaptureClient() override;

  VxTestAudioClient* const client_;  // one reference held
};
