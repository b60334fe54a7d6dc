#include "testdevices/endpoint/VxTestDevice.h"

#include <audioclient.h>
#include <endpointvolume.h>
#include <objbase.h>

#include <cstring>
#include <new>

#include "testdevices/endpoint/VxTestAudioClient.h"
#include "testdevices/endpoint/VxTestEndpointRecord.h"
#include "testdevices/endpoint/VxTestEndpointVolume.h"
#include "testdevices/endpoint/VxTestRealCapture.h"

namespace {

// {A45C254E-DF1C-4EFD-8020-67D146A850E0}, 14
constexpr PROPERTYKEY kFriendlyName = {
    {0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}},
    14};

wchar_t* CoTaskString(const std::wstring& text) {
  const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  auto* copy = static_cast<wchar_t*>(::CoTaskMemAlloc(bytes));
  if (copy != nullptr)
    std::memcpy(copy, text.c_str(), bytes);
  return copy;
}

}  // namespace

VxTestDevice::VxTestDevice(VxTestConfigPtr config, uint32_t index) noexcept
    : VxTestComObject("IMMDevice"), config_(std::move(config)), index_(index) {}

std::wstring VxTestDevice::IdOf(uint32_t index) {
  return L"{0.0.0.00000000}.{vx-test-endpoint-" + std::to_wstring(index) + L"}";
}

HRESULT VxTestDevice::Activate(REFIID iid, DWORD clsctx, PROPVARIANT* params, void** out) noexcept {
  if (out == nullptr)
    return E_POINTER;
  *out = nullptr;
  const char* name = "other";
  HRESULT hr = E_NOINTERFACE;
  if (iid == __uuidof(IAudioClient)) {
    name = "IAudioClient";
    hr = static_cast<HRESULT>(config_->failActivate);
    if (hr == S_OK && config_->realCapture != 0)
      hr = VxTestRealAudioClient::Create(config_->realCaptureEndpoint,
                                         reinterpret_cast<IAudioClient**>(out));
    else if (hr == S_OK)
      *out = static_cast<IAudioClient*>(new (std::nothrow) VxTestAudioClient(*config_, index_));
  } else if (iid == __uuidof(IAudioEndpointVolume)) {
    name = "IAudioEndpointVolume";
    hr = static_cast<HRESULT>(config_->failActivateVolume);
    if (hr == S_OK)
      *out = static_cast<IAudioEndpointVolume*>(new (std::nothrow) VxTestEndpointVolume(
          config_->endpoints[index_], config_->channels, config_->notifyDelayMs));
  }
  if (hr == S_OK && *out == nullptr)
    hr = E_OUTOFMEMORY;
  VxTestEndpointRecord::Instance().Write(
      "Activate",
      VxRecordFields("endpoint=%u\tiid=%s\tclsctx=%lu\tparams=%s\thr=0x%08lx", index_, name, clsctx,
                     params != nullptr ? "set" : "null", static_cast<unsigned long>(hr)));
  return hr;
}

HRESULT VxTestDevice::OpenPropertyStore(DWORD, IPropertyStore** out) noexcept {
  if (out == nullptr)
    return E_POINTER;
  *out = new (std::nothrow) VxTestPropertyStore(config_->endpoints[index_]);
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT VxTestDevice::GetId(LPWSTR* id) noexcept {
  if (id == nullptr)
    return E_POINTER;
  *id = CoTaskString(IdOf(index_));
  return *id != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT VxTestDevice::GetState(DWORD* state) noexcept {
  if (state == nullptr)
    return E_POINTER;
  *state = DEVICE_STATE_ACTIVE;
  return S_OK;
}

VxTestPropertyStore::VxTestPropertyStore(const std::wstring& friendlyName) noexcept
    : VxTestComObject("IPropertyStore"), friendlyName_(friendlyName) {}

HRESULT VxTestPropertyStore::GetCount(DWORD* count) noexcept {
  if (count == nullptr)
    return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT VxTestPropertyStore::GetAt(DWORD index, PROPERTYKEY* key) noexcept {
  if (key == nullptr)
    return E_POINTER;
  if (index != 0)
    return E_INVALIDARG;
  *key = kFriendlyName;
  return S_OK;
}

HRESULT VxTestPropertyStore::GetValue(REFPROPERTYKEY key, PROPVARIANT* value) noexcept {
  if (value == nullptr)
    return E_POINTER;
  std::memset(value, 0, sizeof *value);  // VT_EMPTY for every other key
  if (key.fmtid == kFriendlyName.fmtid && key.pid == kFriendlyName.pid) {
    value->pwszVal = CoTaskString(friendlyName_);
    if (value->pwszVal == nullptr)
      return E_OUTOFMEMORY;
    value->vt = VT_LPWSTR;
  }
  return S_OK;
}

HRESULT VxTestPropertyStore::SetValue(REFPROPERTYKEY, REFPROPVARIANT) noexcept {
  return STG_E_ACCESSDENIED;
}

HRESULT VxTestPropertyStore::Commit() noexcept {
  return STG_E_ACCESSDENIED;
}
