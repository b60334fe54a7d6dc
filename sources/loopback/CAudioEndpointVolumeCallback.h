// CAudioEndpointVolumeCallback: the endpoint-volume change callback that the
// endpoint control object registers with the system.
//
// The system holds the object through IAudioEndpointVolumeCallback while it is
// registered and calls AddRef, Release and OnNotify from its own notification
// thread, so the count is atomic and OnNotify takes the object's lock. The
// object is owned by whoever created it (the capture thread keeps it on its
// stack): Release never deletes it, the count only tracks the references the
// system holds. A notification target, when one is set, receives every
// notification under the lock; the loopback source sets none.
//
// Table: QueryInterface, AddRef, Release and OnNotify are the system's slots 0
// to 3; the C++ destructor follows them and is never called through the table.
// Windows only.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "sources/loopback/VxCoreAudio.h"

// Receives volume notifications from a CAudioEndpointVolumeCallback.
class IVxVolumeNotificationTarget {
 public:
  virtual void OnVolumeNotification(const AUDIO_VOLUME_NOTIFICATION_DATA* data) noexcept = 0;

 protected:
  ~IVxVolumeNotificationTarget() = default;
};

// COM interfaces have no virtual destructor by design: objects end through
// Release, never through delete on an interface pointer.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class CAudioEndpointVolumeCallback : public IAudioEndpointVolumeCallback {
 public:
  CAudioEndpointVolumeCallback() noexcept;
  CAudioEndpointVolumeCallback(const CAudioEndpointVolumeCallback&) = delete;
  CAudioEndpointVolumeCallback& operator=(const CAudioEndpointVolumeCallback&) = delete;

  // Answers IUnknown and IAudioEndpointVolumeCallback; E_NOINTERFACE otherwise.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override;
  ULONG STDMETHODCALLTYPE AddRef() noexcept override;
  ULONG STDMETHODCALLTYPE Release() noexcept override;
  // Hands the data to the notification target under the lock; always S_OK.
  HRESULT STDMETHODCALLTYPE OnNotify(PAUDIO_VOLUME_NOTIFICATION_DATA data) noexcept override;
  virtual ~CAudioEndpointVolumeCallback();

  // Borrowed; must outlive the registration. Null for none.
  void SetNotificationTarget(IVxVolumeNotificationTarget* target) noexcept;
  int32_t ReferenceCount() const noexcept { return referenceCount_.load(); }

 protected:
  // Holds the object's lock for a scope.
  class Lock {
   public:
    explicit Lock(CAudioEndpointVolumeCallback& owner) noexcept : section_(owner.lock_) {
      ::EnterCriticalSection(&section_);
    }
    ~Lock() { ::LeaveCriticalSection(&section_); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

   private:
    CRITICAL_SECTION& section_;
  };

 private:
  std::atomic<int32_t> referenceCount_{1};
  CRITICAL_SECTION lock_;
  IVxVolumeNotificationTarget* target_ = nullptr;
};
#pragma GCC diagnostic pop
