// IMMDeviceEnumerator of the test endpoint, and its IMMDeviceCollection.
//
// Made by the class factory; reads the configuration once, at creation, and
// switches the record file to the one configured. Lists the configured
// playback endpoints as active; capture lists are empty. The default playback
// endpoint (any role) is the configured one, or E_NOTFOUND when there is none.
#pragma once

#include <mmdeviceapi.h>
#include <windows.h>

#include "testdevices/endpoint/VxTestComObject.h"
#include "testdevices/endpoint/VxTestDevice.h"

class VxTestDeviceEnumerator final : public VxTestComObject<IMMDeviceEnumerator> {
 public:
  explicit VxTestDeviceEnumerator(VxTestConfigPtr config) noexcept;

  HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow flow,
                                               DWORD stateMask,
                                               IMMDeviceCollection** out) noexcept override;
  HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow flow,
                                                    ERole role,
                                                    IMMDevice** out) noexcept override;
  HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR id, IMMDevice** out) noexcept override;
  HRESULT STDMETHODCALLTYPE
  RegisterEndpointNotificationCallback(IMMNotificationClient* client) noexcept override;
  HRESULT STDMETHODCALLTYPE
  UnregisterEndpointNotificationCallback(IMMNotificationClient* client) noexcept override;

 private:
  ~VxTestDeviceEnumerator() override = default;

  const VxTestConfigPtr config_;
};

class VxTestDeviceCollection final : public VxTestComObject<IMMDeviceCollection> {
 public:
  VxTestDeviceCollection(VxTestConfigPtr config, UINT count) noexcept;

  HRESULT STDMETHODCALLTYPE GetCount(UINT* count) noexcept override;
  HRESULT STDMETHODCALLTYPE Item(UINT index, IMMDevice** out) noexcept override;

 private:
  ~VxTestDeviceCollection() override = default;

  const VxTestConfigPtr config_;
  const UINT count_;
};
