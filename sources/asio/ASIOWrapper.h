// ASIOWrapper: what one ASIO source holds of the driver world: its own list of
// installed drivers, the driver it loaded from that list, and whether that
// driver is initialised.
//
// Ownership: the wrapper owns its list; the loaded driver's reference belongs
// to the list's record and the wrapper only borrows it. Destroying a loaded
// wrapper releases the driver without stopping it: stop and dispose first.
// Threads: the host's thread only (construction, loading, buffer creation).
#pragma once

#include <cstdint>
#include <memory>

#include "foundation/VxString.h"
#include "sources/asio/ASIODriverList.h"
#include "sources/asio/VxAsioInterface.h"

class ASIOWrapper {
 public:
  // The most channels one source captures.
  static constexpr int32_t kMaxChannels = 32;
  // The largest sample of any type a block can carry, for the block-size bound.
  static constexpr int64_t kMaxBytesPerSample = 8;

  // Reads the driver list; throws only when memory runs out.
  ASIOWrapper();
  ~ASIOWrapper();
  ASIOWrapper(const ASIOWrapper&) = delete;
  ASIOWrapper& operator=(const ASIOWrapper&) = delete;

  // Names (from the ANSI code page) and device IDs, parallel, in list order.
  void ListDrivers(VxStringArray& names, VxStringArray& ids) const;

  // What the init failure line says when another wrapper of this process
  // holds the device.
  static constexpr const char16_t* kDeviceInUse =
      u"The device is in use by another ASIO source of this program";

  // Loads and initialises the driver named by `deviceId`; true at once when
  // already loaded. A device that another loaded wrapper of the process holds
  // is not loaded again. Failures are logged in category 64 under `logSource`.
  [[nodiscard]] bool LoadAndInit(const VxString& deviceId, const char16_t* logSource);

  // Creates input buffers for `count` channels from `firstChannel` on, with
  // the size chosen from the driver's limits. False when the count or size is
  // unusable, the driver refuses, a channel got neither buffer half, or the
  // channels differ in sample type; the buffers may then exist and must still
  // be disposed of.
  [[nodiscard]] bool CreateBuffers(ASIOBufferInfo* bufferInfos,
                                   ASIOChannelInfo* channelInfos,
                                   int32_t count,
                                   int32_t firstChannel,
                                   ASIOCallbacks* callbacks,
                                   int32_t* bufferSize) noexcept;

  // Buffer size from the driver's limits: the preferred size; while it is
  // above the maximum, first cut to a power of two, then halved; below the
  // minimum it becomes the minimum. 0 when the limits leave no positive size.
  static int32_t ChooseBufferSize(int32_t minSize, int32_t maxSize, int32_t preferredSize);

  // Releases the driver object and forgets it (loaded becomes false).
  void Unload() noexcept;

  IASIO* Driver() const { return driver_; }
  bool IsLoaded() const { return loaded_; }
  const VxString& DriverName() const { return driverName_; }
  const VxString& DeviceId() const { return deviceId_; }
  const ASIODriverList& List() const { return *list_; }

 private:
  void ReleaseClaim() noexcept;

  std::unique_ptr<ASIODriverList> list_;
  bool claimed_ = false;  // claim_ is held in the process's device claims
  CLSID claim_ = {};
  IASIO* driver_ = nullptr;  // borrowed from the list's record
  bool loaded_ = false;
  VxString driverName_;
  VxString deviceId_;
};
