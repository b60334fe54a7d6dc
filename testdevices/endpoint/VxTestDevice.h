// IMMDevice of one test playback endpoint, and the IPropertyStore that gives
// its friendly name.
//
// Made by the enumerator or its collection; a new object per request, as the
// system does, each owned by its COM references and sharing the enumerator's
// configuration. Activate hands out the test audio client and endpoint volume.
#pragma once

#include <mmdeviceapi.h>
#include <propsys.h>
#include <windows.h>

#include <memory>
#include <string>

#include "testdevices/endpoint/VxTestComObject.h"
#include "testdevices/endpoint/VxTestEndpointConfig.h"

using VxTestConfigPtr = std::shared_ptr<const VxTestEndpointConfig>;

class VxTestDevice final : public VxTestComObject<IMMDevice> {
 public:
  VxTestDevice(VxTestConfigPtr config, uint32_t index) noexcept;

  // The endpoint ID of index `index`, as GetId answers it.
  static std::wstring IdOf(uint32_t index);

  HRESULT STDMETHODCALLTYPE Activate(REFIID iid,
                                     DWORD clsctx,
                                     PROPVARIANT* params,
                                     void** out) noexcept override;
  HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD access, IPropertyStore** out) noexcept override;
  HRESULT STDMETHODCALLTYPE GetId(LPWSTR* id) noexcept override;
  HRESULT STDMETHODCALLTYPE GetState(DWORD* state) noexcept override;

 private:
  ~VxTestDevice() override = default;

  const VxTestConfigPtr config_;
  const uint32_t index_;
};

class VxTestPropertyStore final : public VxTestComObject<IPropertyStore> {
 public:
  explicit VxTestPropertyStore(const std::wstring& friendlyName) noexcept;

  HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) noexcept override;
  HRESULT STDMETHODCALLTYPE GetAt(DWORD index, PROPERTYKEY* key) noexcept override;
  HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key, PROPVARIANT* value) noexcept override;
  HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY key, REFPROPVARIANT value) noexcept override;
  HRESULT STDMETHODCALLTYPE Commit() noexcept override;

 private:
  ~VxTestPropertyStore() override = default;

  const std::wstring friendlyName_;
};
