// The methods of IAudioClient and IAudioCaptureClient, declared once for the
// endpoint's two implementations (the test stream and the forwarding one of
// the real-capture mode). Expand inside the class body, under `public:`.
#pragma once

#include <audioclient.h>

#define VX_TEST_AUDIO_CLIENT_METHODS                                                              \
  HRESULT STDMETHODCALLTYPE Initialize(AUDCLNT_SHAREMODE shareMode, DWORD streamFlags,            \
                                       REFERENCE_TIME bufferDuration, REFERENCE_TIME periodicity, \
                                       const WAVEFORMATEX* format,                                \
                                       LPCGUID sessionGuid) noexcept override;                    \
  HRESULT STDMETHODCALLTYPE GetBufferSize(UINT32* frames) noexcept override;                      \
  HRESULT STDMETHODCALLTYPE GetStreamLatency(REFERENCE_TIME* latency) noexcept override;          \
  HRESULT STDMETHODCALLTYPE GetCurrentPadding(UINT32* frames) noexcept override;                  \
  HRESULT STDMETHODCALLTYPE IsFormatSupported(AUDCLNT_SHAREMODE shareMode,                        \
                                              const WAVEFORMATEX* format,                         \
                                              WAVEFORMATEX** closest) noexcept override;          \
  HRESULT STDMETHODCALLTYPE GetMixFormat(WAVEFORMATEX** format) noexcept override;                \
  HRESULT STDMETHODCALLTYPE GetDevicePeriod(REFERENCE_TIME* defaultPeriod,                        \
                                            REFERENCE_TIME* minimumPeriod) noexcept override;     \
  HRESULT STDMETHODCALLTYPE Start() noexcept override;                                            \
  HRESULT STDMETHODCALLTYPE Stop() noexcept override;                                             \
  HRESULT STDMETHODCALLTYPE Reset() noexcept override;                                            \
  HRESULT STDMETHODCALLTYPE SetEventHandle(HANDLE event) noexcept override;                       \
  HRESULT STDMETHODCALLTYPE GetService(REFIID iid, void** out) noexcept override;

#define VX_TEST_CAPTURE_CLIENT_METHODS                                           \
  HRESULT STDMETHODCALLTYPE GetBuffer(BYTE** data, UINT32* frames, DWORD* flags, \
                                      UINT64* devicePosition,                    \
                                      UINT64* qpcPosition) noexcept override;    \
  HRESULT STDMETHODCALLTYPE ReleaseBuffer(UINT32 frames) noexcept override;      \
  HRESULT STDMETHODCALLTYPE GetNextPacketSize(UINT32* frames) noexcept override;
