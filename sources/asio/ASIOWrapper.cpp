#include "sources/asio/ASIOWrapper.h"

#include <cstring>

#include "live_Main/host/VxLog.h"

namespace {

// Devices held by a loaded wrapper in this process. Most drivers serve one
// client per device, and those that take a second one often run both on the
// same hardware, where one client's stop or buffer change breaks the other's
// stream: a second source of a device is refused before its driver is made.
constexpr int kMaxClaims = 16;
SRWLOCK g_claimLock = SRWLOCK_INIT;
CLSID g_claimed[kMaxClaims];
bool g_claimUsed[kMaxClaims];

bool ClaimDevice(const CLSID& device) {
  ::AcquireSRWLockExclusive(&g_claimLock);
  int free = -1;
  bool taken = false;
  for (int i = 0; i < kMaxClaims; ++i) {
    if (!g_claimUsed[i])
      free = free < 0 ? i : free;
    else if (::IsEqualGUID(g_claimed[i], device))
      taken = true;
  }
  const bool claimed = !taken && free >= 0;
  if (claimed) {
    g_claimed[free] = device;
    g_claimUsed[free] = true;
  }
  ::ReleaseSRWLockExclusive(&g_claimLock);
  return claimed;
}

void ReleaseDevice(const CLSID& device) {
  ::AcquireSRWLockExclusive(&g_claimLock);
  for (int i = 0; i < kMaxClaims; ++i) {
    if (g_claimUsed[i] && ::IsEqualGUID(g_claimed[i], device)) {
      g_claimUsed[i] = false;
      break;
    }
  }
  ::ReleaseSRWLockExclusive(&g_claimLock);
}

}  // namespace

ASIOWrapper::ASIOWrapper() : list_(std::make_unique<ASIODriverList>()) {}

ASIOWrapper::~ASIOWrapper() {
  if (loaded_)
    Unload();
  // A load that ran out of memory half-way still gives the device back.
  ReleaseClaim();
}

void ASIOWrapper::Unload() noexcept {
  if (driver_)
    list_->RemoveCurrentDriver();
  ReleaseClaim();
  driver_ = nullptr;
  driverName_.clear();
  deviceId_.clear();
  loaded_ = false;
}

void ASIOWrapper::ListDrivers(VxStringArray& names, VxStringArray& ids) const {
  names.clear();
  ids.clear();
  for (int32_t id = 0; id < list_->Count(); ++id) {
    const ASIODriverRecord* record = list_->Record(id);
    if (!record)
      continue;
    names.push_back(VxAsioDriverName(*record));
    ids.push_back(VxAsioDeviceId(record->clsid));
  }
}

bool ASIOWrapper::LoadAndInit(const VxString& deviceId, const char16_t* logSource) {
  if (loaded_)
    return true;
  if (deviceId.empty()) {
    VxLog(kVxLogLive, logSource, u"Empty device ID");
    return false;
  }
  const CLSID device = VxAsioParseDeviceId(deviceId);
  if (!ClaimDevice(device)) {
    VxLog(kVxLogLive, logSource, u"ASIOInit(...) failed with code %d and message \"%s\"",
          {static_cast<int>(ASE_NotPresent), VxString(kDeviceInUse)});
    return false;
  }
  claimed_ = true;
  claim_ = device;
  driver_ = list_->LoadDriver(device);
  if (!driver_) {
    ReleaseClaim();
    VxLog(kVxLogLive, logSource, u"Failed to load ASIO driver");
    return false;
  }
  ASIODriverInfo info = {};
  std::strcpy(info.name, "No ASIO Driver");
  if (!driver_->init(info.sysRef)) {
    driver_->getErrorMessage(info.errorMessage);
    info.errorMessage[sizeof info.errorMessage - 1] = 0;
    // The record keeps its reference until the list goes.
    driver_ = nullptr;
    ReleaseClaim();
    VxLog(kVxLogLive, logSource, u"ASIOInit(...) failed with code %d and message \"%s\"",
          {static_cast<int>(ASE_NotPresent), VxString(VxAsioFromAnsi(info.errorMessage).c_str())});
    return false;
  }
  driver_->getDriverName(info.name);
  info.name[sizeof info.name - 1] = 0;
  info.driverVersion = driver_->getDriverVersion();
  driverName_ = VxString(VxAsioFromAnsi(info.name).c_str());
  deviceId_ = deviceId;
  loaded_ = true;
  return true;
}

void ASIOWrapper::ReleaseClaim() noexcept {
  if (claimed_)
    ReleaseDevice(claim_);
  claimed_ = false;
}

int32_t ASIOWrapper::ChooseBufferSize(int32_t minSize, int32_t maxSize, int32_t preferredSize) {
  int64_t size = preferredSize;
  bool first = true;
  while (size > maxSize && size > 0) {
    if (first) {
      int64_t highest = 1;
      while (highest * 2 <= size)
        highest *= 2;
      size = highest;
      first = false;
    } else {
      size /= 2;
    }
    if (size < minSize) {
      size = minSize;
      break;
    }
  }
  return size > 0 ? static_cast<int32_t>(size) : 0;
}

bool ASIOWrapper::CreateBuffers(ASIOBufferInfo* bufferInfos,
                                ASIOChannelInfo* channelInfos,
                                int32_t count,
                                int32_t firstChannel,
                                ASIOCallbacks* callbacks,
                                int32_t* bufferSize) noexcept {
  *bufferSize = 0;
  if (count < 1 || count > kMaxChannels)
    return false;
  for (int32_t i = 0; i < count; ++i) {
    bufferInfos[i] = ASIOBufferInfo{ASIOTrue, firstChannel + i, {nullptr, nullptr}};
    ASIOChannelInfo& channel = channelInfos[i];
    channel = ASIOChannelInfo{};
    channel.channel = firstChannel + i;
    channel.isInput = ASIOTrue;
    if (driver_) {
      (void)driver_->getChannelInfo(&channel);
      channel.name[sizeof channel.name - 1] = 0;
    } else {
      channel.channelGroup = -1;
      std::strcpy(channel.name, "None");
    }
  }
  if (!driver_)
    return false;
  long minSize = 0, maxSize = 0, preferred = 0, granularity = 0;
  if (driver_->getBufferSize(&minSize, &maxSize, &preferred, &granularity) != ASE_OK)
    return false;
  const int32_t size = ChooseBufferSize(minSize, maxSize, preferred);
  // Each switch becomes one block whose byte count must fit 32 bits.
  if (size < 1 || kMaxBytesPerSample * count * size > INT32_MAX)
    return false;
  if (driver_->createBuffers(bufferInfos, count, size, callbacks) != ASE_OK)
    return false;
  *bufferSize = size;
  for (int32_t i = 0; i < count; ++i) {
    if (!bufferInfos[i].buffers[0] && !bufferInfos[i].buffers[1])
      return false;
    if (channelInfos[i].type != channelInfos[0].type)
      return false;
  }
  long inputLatency = 0, outputLatency = 0;
  (void)driver_->getLatencies(&inputLatency, &outputLatency);
  return true;
}
