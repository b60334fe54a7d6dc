// IAudioEndpointVolume of one test endpoint.
//
// Volume, mute and the registered callbacks belong to the endpoint (by name),
// shared by every volume object activated on it in this process, as on the
// system: a change made through any of them notifies every callback registered
// on that endpoint at that moment, from a thread of its own (after
// `notifyDelayMs`), holding a reference on each callback until its OnNotify
// returned, even when the callback was unregistered meanwhile. Registering takes a
// reference to the callback and unregistering releases it (the count left is
// recorded); a callback still registered when its volume object is destroyed
// is recorded as "callback-left" and released then.
#pragma once

#include <endpointvolume.h>
#include <windows.h>

#include <string>

#include "testdevices/endpoint/VxTestComObject.h"

class VxTestEndpointVolume final : public VxTestComObject<IAudioEndpointVolume> {
 public:
  VxTestEndpointVolume(const std::wstring& endpoint, UINT channels, DWORD notifyDelayMs) noexcept;

  HRESULT STDMETHODCALLTYPE
  RegisterControlChangeNotify(IAudioEndpointVolumeCallback* callback) noexcept override;
  HRESULT STDMETHODCALLTYPE
  UnregisterControlChangeNotify(IAudioEndpointVolumeCallback* callback) noexcept override;
  HRESULT STDMETHODCALLTYPE GetChannelCount(UINT* count) noexcept override;
  HRESULT STDMETHODCALLTYPE SetMasterVolumeLevel(FLOAT db, LPCGUID context) noexcept override;
  HRESULT STDMETHODCALLTYPE SetMasterVolumeLevelScalar(FLOAT level,
                                                       LPCGUID context) noexcept override;
  HRESULT STDMETHODCALLTYPE GetMasterVolumeLevel(FLOAT* db) noexcept override;
  HRESULT STDMETHODCALLTYPE GetMasterVolumeLevelScalar(FLOAT* level) noexcept override;
  HRESULT STDMETHODCALLTYPE SetChannelVolumeLevel(UINT channel,
                                                  FLOAT db,
                                                  LPCGUID context) noexcept override;
  HRESULT STDMETHODCALLTYPE SetChannelVolumeLevelScalar(UINT channel,
                                                        FLOAT level,
                                                        LPCGUID context) noexcept override;
  HRESULT STDMETHODCALLTYPE GetChannelVolumeLevel(UINT channel, FLOAT* db) noexcept override;
  HRESULT STDMETHODCALLTYPE GetChannelVolumeLevelScalar(UINT channel,
                                                        FLOAT* level) noexcept override;
  HRESULT STDMETHODCALLTYPE SetMute(WINBOOL mute, LPCGUID context) noexcept override;
  HRESULT STDMETHODCALLTYPE GetMute(WINBOOL* mute) noexcept override;
  HRESULT STDMETHODCALLTYPE GetVolumeStepInfo(UINT* step, UINT* count) noexcept override;
  HRESULT STDMETHODCALLTYPE VolumeStepUp(LPCGUID context) noexcept override;
  HRESULT STDMETHODCALLTYPE VolumeStepDown(LPCGUID context) noexcept override;
  HRESULT STDMETHODCALLTYPE QueryHardwareSupport(DWORD* mask) noexcept override;
  HRESULT STDMETHODCALLTYPE GetVolumeRange(FLOAT* minDb,
                                           FLOAT* maxDb,
                                           FLOAT* stepDb) noexcept override;

 private:
  ~VxTestEndpointVolume() override;
  // Applies a change under the shared lock, then starts the notification.
  HRESULT Change(int channel, float level, int mute, LPCGUID context) noexcept;

  const std::wstring endpoint_;
  const UINT channels_;
  const DWORD notifyDelayMs_;
};
