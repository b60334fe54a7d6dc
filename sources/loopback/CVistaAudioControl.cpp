#include "sources/loopback/CVistaAudioControl.h"

#include <new>
#include <string_view>

namespace {

// Owns the value a property store hands out.
class PropVariant {
 public:
  PropVariant() noexcept { ::PropVariantInit(&value_); }
  ~PropVariant() { ::PropVariantClear(&value_); }
  PropVariant(const PropVariant&) = delete;
  PropVariant& operator=(const PropVariant&) = delete;
  PROPVARIANT* get() noexcept { return &value_; }
  const wchar_t* Text() const noexcept {
    return value_.vt == VT_LPWSTR && value_.pwszVal ? value_.pwszVal : nullptr;
  }

 private:
  PROPVARIANT value_;
};

VxString FriendlyName(IMMDevice* device) noexcept {
  VxComPtr<IPropertyStore> store;
  if (FAILED(device->OpenPropertyStore(STGM_READ, store.put())) || !store)
    return VxString();
  PropVariant value;
  if (FAILED(store->GetValue(vxcoreaudio::kKeyDeviceFriendlyName, value.get())))
    return VxString();
  return VxString(value.Text());
}

}  // namespace

CVistaAudioControl::~CVistaAudioControl() {
  if (volume_ && registered_)
    (void)volume_->UnregisterControlChangeNotify(this);
  registered_ = false;
  volume_.reset();
  device_.reset();
  // The system may still be inside a notification it took a reference for
  // before the unregistration; the object must outlive that call, and it
  // lives on the capture thread's stack.
  while (ReferenceCount() > 1)
    ::Sleep(1);
}

void CVistaAudioControl::Attach() noexcept {
  Lock lock(*this);
  AttachLocked();
}

void CVistaAudioControl::AttachLocked() noexcept {
  if (device_ && volume_)
    return;
  VxComPtr<IMMDeviceEnumerator> enumerator;
  if (FAILED(::CoCreateInstance(vxcoreaudio::kClsidDeviceEnumerator, nullptr, CLSCTX_INPROC_SERVER,
                                vxcoreaudio::kIidDeviceEnumerator,
                                reinterpret_cast<void**>(enumerator.put()))) ||
      !enumerator)
    return;
  ListEndpoints(enumerator.get());
  if (!device_ && fallBackToDefault_) {
    if (FAILED(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, device_.put())))
      device_.reset();
  }
  if (!device_)
    return;
  if (FAILED(device_->Activate(vxcoreaudio::kIidAudioEndpointVolume, CLSCTX_INPROC_SERVER, nullptr,
                               reinterpret_cast<void**>(volume_.put()))) ||
      !volume_) {
    volume_.reset();
    return;
  }
  registered_ = SUCCEEDED(volume_->RegisterControlChangeNotify(this));
}

void CVistaAudioControl::ListEndpoints(IMMDeviceEnumerator* enumerator) noexcept {
  names_.clear();
  displayNames_.clear();
  VxComPtr<IMMDeviceCollection> endpoints;
  if (FAILED(enumerator->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, endpoints.put())) ||
      !endpoints)
    return;
  UINT count = 0;
  if (FAILED(endpoints->GetCount(&count)))
    return;
  try {
    for (UINT index = 0; index < count; ++index) {
      VxComPtr<IMMDevice> endpoint;
      if (FAILED(endpoints->Item(index, endpoint.put())) || !endpoint)
        continue;
      VxString name = FriendlyName(endpoint.get());
      names_.push_back(name);
      displayNames_.push_back(CleanName(name));
      if (!device_ && !wantedName_.IsEmpty() && name == wantedName_)
        device_ = std::move(endpoint);
    }
  } catch (const std::bad_alloc&) {
    // A partial list is all selection by name needs; the default still works.
  }
}

VxString CVistaAudioControl::CleanName(const VxString& name) {
  std::u16string_view text(name);
  for (std::u16string_view prefix : {u"Speakers ", u"Digital Audio (S/PDIF) "}) {
    if (text.size() > prefix.size() && text.substr(0, prefix.size()) == prefix) {
      text.remove_prefix(prefix.size());
      break;
    }
  }
  while (!text.empty() && text.front() == u' ')
    text.remove_prefix(1);
  while (!text.empty() && text.back() == u' ')
    text.remove_suffix(1);
  if (text.size() > 2 && text.front() == u'(' && text.back() == u')' &&
      text.find(u')') == text.size() - 1)
    text = text.substr(1, text.size() - 2);
  return VxString(text);
}
