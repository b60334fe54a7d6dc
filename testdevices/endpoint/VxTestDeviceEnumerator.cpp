#include "testdevices/endpoint/VxTestDeviceEnumerator.h"

#include <new>

#include "testdevices/endpoint/VxTestEndpointRecord.h"

namespace {

constexpr HRESULT kNotFound = static_cast<HRESULT>(0x80070490);  // HRESULT of ERROR_NOT_FOUND

HRESULT NewDevice(const VxTestConfigPtr& config, uint32_t index, IMMDevice** out) {
  *out = new (std::nothrow) VxTestDevice(config, index);
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

VxTestDeviceEnumerator::VxTestDeviceEnumerator(VxTestConfigPtr config) noexcept
    : VxTestComObject("IMMDeviceEnumerator"), config_(std::move(config)) {}

HRESULT VxTestDeviceEnumerator::EnumAudioEndpoints(EDataFlow flow,
                                                   DWORD stateMask,
                                                   IMMDeviceCollection** out) noexcept {
  if (out == nullptr)
    return E_POINTER;
  const bool listed = (flow == eRender || flow == eAll) && (stateMask & DEVICE_STATE_ACTIVE) != 0;
  const UINT count = listed ? static_cast<UINT>(config_->endpoints.size()) : 0;
  *out = new (std::nothrow) VxTestDeviceCollection(config_, count);
  const HRESULT hr = *out != nullptr ? S_OK : E_OUTOFMEMORY;
  VxTestEndpointRecord::Instance().Write(
      "EnumAudioEndpoints",
      VxRecordFields("flow=%d\tstateMask=0x%lx\tcount=%u\thr=0x%08lx", static_cast<int>(flow),
                     stateMask, count, static_cast<unsigned long>(hr)));
  return hr;
}

HRESULT VxTestDeviceEnumerator::GetDefaultAudioEndpoint(EDataFlow flow,
                                                        ERole role,
                                                        IMMDevice** out) noexcept {
  if (out == nullptr)
    return E_POINTER;
  *out = nullptr;
  HRESULT hr = kNotFound;
  if (flow == eRender && config_->defaultEndpoint < config_->endpoints.size())
    hr = NewDevice(config_, config_->defaultEndpoint, out);
  VxTestEndpointRecord::Instance().Write(
      "GetDefaultAudioEndpoint",
      VxRecordFields("flow=%d\trole=%d\thr=0x%08lx", static_cast<int>(flow), static_cast<int>(role),
                     static_cast<unsigned long>(hr)));
  return hr;
}

HRESULT VxTestDeviceEnumerator::GetDevice(LPCWSTR id, IMMDevice** out) noexcept {
  if (id == nullptr || out == nullptr)
    return E_POINTER;
  *out = nullptr;
  for (uint32_t i = 0; i < config_->endpoints.size(); ++i)
    if (VxTestDevice::IdOf(i) == id)
      return NewDevice(config_, i, out);
  return kNotFound;
}

HRESULT VxTestDeviceEnumerator::RegisterEndpointNotificationCallback(
    IMMNotificationClient* client) noexcept {
  // Endpoints never change while an enumerator lives; nothing is ever sent.
  return client != nullptr ? S_OK : E_POINTER;
}

HRESULT VxTestDeviceEnumerator::UnregisterEndpointNotificationCallback(
    IMMNotificationClient* client) noexcept {
  return client != nullptr ? S_OK : E_POINTER;
}

VxTestDeviceCollection::VxTestDeviceCollection(VxTestConfigPtr config, UINT count) noexcept
    : VxTestComObject("IMMDeviceCollection"), config_(std::move(config)), count_(count) {}

HRESULT VxTestDeviceCollection::GetCount(UINT* count) noexcept {
  if (count == nullptr)
    return E_POINTER;
  *count = count_;
  return S_OK;
}

HRESULT VxTestDeviceCollection::Item(UINT index, IMMDevice** out) noexcept {
  if (out == nullptr)
    return E_POINTER;
  *out = nullptr;
  if (index >= count_)
    return E_INVALIDARG;
  return NewDevice(config_, index, out);
}
