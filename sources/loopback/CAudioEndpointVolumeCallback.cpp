#include "sources/loopback/CAudioEndpointVolumeCallback.h"

CAudioEndpointVolumeCallback::CAudioEndpointVolumeCallback() noexcept {
  ::InitializeCriticalSection(&lock_);
}

CAudioEndpointVolumeCallback::~CAudioEndpointVolumeCallback() {
  ::DeleteCriticalSection(&lock_);
}

HRESULT CAudioEndpointVolumeCallback::QueryInterface(REFIID iid, void** out) noexcept {
  if (!out)
    return E_POINTER;
  if (IsEqualIID(iid, vxcoreaudio::kIidUnknown) ||
      IsEqualIID(iid, vxcoreaudio::kIidAudioEndpointVolumeCallback)) {
    *out = static_cast<IAudioEndpointVolumeCallback*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG CAudioEndpointVolumeCallback::AddRef() noexcept {
  return static_cast<ULONG>(++referenceCount_);
}

ULONG CAudioEndpointVolumeCallback::Release() noexcept {
  return static_cast<ULONG>(--referenceCount_);
}

HRESULT CAudioEndpointVolumeCallback::OnNotify(PAUDIO_VOLUME_NOTIFICATION_DATA data) noexcept {
  Lock lock(*this);
  if (target_)
    target_->OnVolumeNotification(data);
  return S_OK;
}

void CAudioEndpointVolumeCallback::SetNotificationTarget(
    IVxVolumeNotificationTarget* target) noexcept {
  Lock lock(*this);
  target_ = target;
}
