// CVistaAudioControl: finds a playback endpoint through the system's device
// enumerator and keeps it, with its endpoint-volume interface registered for
// change notifications.
//
// Attach() picks the endpoint whose friendly name equals the wanted name, or,
// with no match and fall-back on, the default playback endpoint in the console
// role; on the way it records the names of all active playback endpoints (as
// reported and cleaned for display). The object holds one reference to the
// device and one to the volume interface; destroying it unregisters the
// notification first, releases both, and then waits until the system has
// given back every reference it still holds (a notification in flight).
//
// Threads: created, attached and destroyed on one thread, which has COM
// initialised (the capture thread keeps it on its stack). The system's
// notification thread only calls the callback's operations.
// Windows only.
#pragma once

#include <windows.h>

#include "foundation/VxHandle.h"
#include "foundation/VxString.h"
#include "sources/loopback/CAudioEndpointVolumeCallback.h"
#include "sources/loopback/VxCoreAudio.h"

class CVistaAudioControl final : public CAudioEndpointVolumeCallback {
 public:
  CVistaAudioControl() noexcept = default;
  ~CVistaAudioControl() override;

  // Takes the lock; does nothing when a device and its volume interface are
  // already held. Without any endpoint the device stays null.
  void Attach() noexcept;

  // Borrowed: valid while this object lives. Null when Attach found none.
  IMMDevice* Device() const noexcept { return device_.get(); }
  IAudioEndpointVolume* EndpointVolume() const noexcept { return volume_.get(); }
  bool IsRegisteredForNotifications() const noexcept { return registered_; }
  // Names of the active playback endpoints in enumeration order.
  const VxStringArray& EndpointNames() const noexcept { return names_; }
  const VxStringArray& DisplayNames() const noexcept { return displayNames_; }

  void SetWantedName(const VxString& name) { wantedName_ = name; }
  void SetFallBackToDefault(bool fallBack) noexcept { fallBackToDefault_ = fallBack; }

  // "Speakers (USB Audio)" -> "USB Audio": drops the generic prefixes Windows
  // puts before the adapter name, then one pair of enclosing parentheses.
  static VxString CleanName(const VxString& name);

 private:
  void AttachLocked() noexcept;
  void ListEndpoints(IMMDeviceEnumerator* enumerator) noexcept;

  VxString wantedName_;
  VxComPtr<IMMDevice> device_;
  VxComPtr<IAudioEndpointVolume> volume_;
  VxStringArray names_;
  VxStringArray displayNames_;
  bool fallBackToDefault_ = true;
  bool registered_ = false;
};
