#include "testdevices/endpoint/VxTestEndpointVolume.h"

#include <cmath>
#include <map>
#include <mutex>
#include <vector>

#include "testdevices/endpoint/VxTestEndpointRecord.h"

namespace {

struct Registration {
  uint32_t owner;
  IAudioEndpointVolumeCallback* callback;  // one reference held
};

struct EndpointState {
  float master = 1.0f;
  bool muted = false;
  std::vector<float> channels;
  std::vector<Registration> registrations;
};

std::mutex& StateMutex() {
  static std::mutex mutex;
  return mutex;
}
std::map<std::wstring, EndpointState>& States() {
  static std::map<std::wstring, EndpointState> states;
  return states;
}

float ToDb(float level) {
  return level <= 0.0f ? -96.0f : std::fmax(-96.0f, 20.0f * std::log10(level));
}
float FromDb(float db) {
  return db <= -96.0f ? 0.0f : std::pow(10.0f, db / 20.0f);
}
unsigned long long PointerValue(const void* p) {
  return static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p));
}

}  // namespace

VxTestEndpointVolume::VxTestEndpointVolume(const std::wstring& endpoint, UINT channels) noexcept
    : VxTestComObject("IAudioEndpointVolume"), endpoint_(endpoint), channels_(channels) {
  std::lock_guard<std::mutex> lock(StateMutex());
  EndpointState& state = States()[endpoint_];
  if (state.channels.size() != channels_)
    state.channels.assign(channels_, 1.0f);
}

VxTestEndpointVolume::~VxTestEndpointVolume() {
  std::vector<IAudioEndpointVolumeCallback*> left;
  {
    std::lock_guard<std::mutex> lock(StateMutex());
    auto& regs = States()[endpoint_].registrations;
    for (auto it = regs.begin(); it != regs.end();) {
      if (it->owner == Id()) {
        left.push_back(it->callback);
        it = regs.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (IAudioEndpointVolumeCallback* callback : left) {
    VxTestEndpointRecord::Instance().Write(
        "callback-left", VxRecordFields("callback=0x%llx", PointerValue(callback)));
    callback->Release();
  }
}

HRESULT VxTestEndpointVolume::RegisterControlChangeNotify(
    IAudioEndpointVolumeCallback* callback) noexcept {
  HRESULT hr = S_OK;
  if (callback == nullptr) {
    hr = E_POINTER;
  } else {
    callback->AddRef();
    std::lock_guard<std::mutex> lock(StateMutex());
    States()[endpoint_].registrations.push_back({Id(), callback});
  }
  VxTestEndpointRecord::Instance().Write(
      "RegisterControlChangeNotify",
      VxRecordFields("callback=0x%llx\thr=0x%08lx", PointerValue(callback),
                     static_cast<unsigned long>(hr)));
  return hr;
}

HRESULT VxTestEndpointVolume::UnregisterControlChangeNotify(
    IAudioEndpointVolumeCallback* callback) noexcept {
  bool found = false;
  if (callback != nullptr) {
    std::lock_guard<std::mutex> lock(StateMutex());
    auto& regs = States()[endpoint_].registrations;
    for (auto it = regs.begin(); it != regs.end(); ++it) {
      if (it->owner == Id() && it->callback == callback) {
        regs.erase(it);
        found = true;
        break;
      }
    }
  }
  const HRESULT hr = callback == nullptr ? E_POINTER : found ? S_OK : E_INVALIDARG;
  const ULONG refsLeft = found ? callback->Release() : 0;
  VxTestEndpointRecord::Instance().Write(
      "UnregisterControlChangeNotify",
      VxRecordFields("callback=0x%llx\trefsLeft=%lu\thr=0x%08lx", PointerValue(callback), refsLeft,
                     static_cast<unsigned long>(hr)));
  return hr;
}

HRESULT VxTestEndpointVolume::Change(int channel, float level, int mute, LPCGUID context) noexcept {
  if (channel >= static_cast<int>(channels_))
    return E_INVALIDARG;
  if (level < 0.0f || level > 1.0f)
    return E_INVALIDARG;
  std::vector<IAudioEndpointVolumeCallback*> targets;
  std::vector<uint8_t> data;
  {
    std::lock_guard<std::mutex> lock(StateMutex());
    EndpointState& state = States()[endpoint_];
    if (mute >= 0)
      state.muted = mute != 0;
    else if (channel < 0)
      state.master = level;
    else
      state.channels[static_cast<size_t>(channel)] = level;
    const size_t size =
        offsetof(AUDIO_VOLUME_NOTIFICATION_DATA, afChannelVolumes) + sizeof(float) * channels_;
    data.assign(size < sizeof(AUDIO_VOLUME_NOTIFICATION_DATA)
                    ? sizeof(AUDIO_VOLUME_NOTIFICATION_DATA)
                    : size,
                0);
    auto* notification = reinterpret_cast<AUDIO_VOLUME_NOTIFICATION_DATA*>(data.data());
    notification->guidEventContext = context != nullptr ? *context : GUID_NULL;
    notification->bMuted = state.muted;
    notification->fMasterVolume = state.master;
    notification->nChannels = channels_;
    for (UINT c = 0; c < channels_; ++c)
      notification->afChannelVolumes[c] = state.channels[c];
    for (const Registration& r : state.registrations) {
      r.callback->AddRef();
      targets.push_back(r.callback);
    }
  }
  for (IAudioEndpointVolumeCallback* callback : targets) {
    const HRESULT hr =
        callback->OnNotify(reinterpret_cast<AUDIO_VOLUME_NOTIFICATION_DATA*>(data.data()));
    VxTestEndpointRecord::Instance().Write(
        "OnNotify", VxRecordFields("callback=0x%llx\thr=0x%08lx", PointerValue(callback),
                                   static_cast<unsigned long>(hr)));
    callback->Release();
  }
  return S_OK;
}

HRESULT VxTestEndpointVolume::GetChannelCount(UINT* count) noexcept {
  if (count == nullptr)
    return E_POINTER;
  *count = channels_;
  return S_OK;
}

HRESULT VxTestEndpointVolume::SetMasterVolumeLevel(FLOAT db, LPCGUID context) noexcept {
  return Change(-1, FromDb(db), -1, context);
}
HRESULT VxTestEndpointVolume::SetMasterVolumeLevelScalar(FLOAT level, LPCGUID context) noexcept {
  return Change(-1, level, -1, context);
}
HRESULT VxTestEndpointVolume::GetMasterVolumeLevel(FLOAT* db) noexcept {
  FLOAT level = 0;
  const HRESULT hr = GetMasterVolumeLevelScalar(&level);
  if (SUCCEEDED(hr))
    *db = ToDb(level);
  return hr;
}
HRESULT VxTestEndpointVolume::GetMasterVolumeLevelScalar(FLOAT* level) noexcept {
  if (level == nullptr)
    return E_POINTER;
  std::lock_guard<std::mutex> lock(StateMutex());
  *level = States()[endpoint_].master;
  return S_OK;
}
HRESULT VxTestEndpointVolume::SetChannelVolumeLevel(UINT channel,
                                                    FLOAT db,
                                                    LPCGUID context) noexcept {
  return Change(static_cast<int>(channel), FromDb(db), -1, context);
}
HRESULT VxTestEndpointVolume::SetChannelVolumeLevelScalar(UINT channel,
                                                          FLOAT level,
                                                          LPCGUID context) noexcept {
  return Change(static_cast<int>(channel), level, -1, context);
}
HRESULT VxTestEndpointVolume::GetChannelVolumeLevel(UINT channel, FLOAT* db) noexcept {
  FLOAT level = 0;
  const HRESULT hr = GetChannelVolumeLevelScalar(channel, &level);
  if (SUCCEEDED(hr))
    *db = ToDb(level);
  return hr;
}
HRESULT VxTestEndpointVolume::GetChannelVolumeLevelScalar(UINT channel, FLOAT* level) noexcept {
  if (level == nullptr)
    return E_POINTER;
  if (channel >= channels_)
    return E_INVALIDARG;
  std::lock_guard<std::mutex> lock(StateMutex());
  *level = States()[endpoint_].channels[channel];
  return S_OK;
}
HRESULT VxTestEndpointVolume::SetMute(WINBOOL mute, LPCGUID context) noexcept {
  return Change(-1, 0.0f, mute ? 1 : 0, context);
}
HRESULT VxTestEndpointVolume::GetMute(WINBOOL* mute) noexcept {
  if (mute == nullptr)
    return E_POINTER;
  std::lock_guard<std::mutex> lock(StateMutex());
  *mute = States()[endpoint_].muted;
  return S_OK;
}
HRESULT VxTestEndpointVolume::GetVolumeStepInfo(UINT* step, UINT* count) noexcept {
  if (step == nullptr || count == nullptr)
    return E_POINTER;
  FLOAT level = 0;
  (void)GetMasterVolumeLevelScalar(&level);
  *count = 101;
  *step = static_cast<UINT>(level * 100.0f + 0.5f);
  return S_OK;
}
HRESULT VxTestEndpointVolume::VolumeStepUp(LPCGUID context) noexcept {
  FLOAT level = 0;
  (void)GetMasterVolumeLevelScalar(&level);
  return Change(-1, std::fmin(1.0f, level + 0.01f), -1, context);
}
HRESULT VxTestEndpointVolume::VolumeStepDown(LPCGUID context) noexcept {
  FLOAT level = 0;
  (void)GetMasterVolumeLevelScalar(&level);
  return Change(-1, std::fmax(0.0f, level - 0.01f), -1, context);
}
HRESULT VxTestEndpointVolume::QueryHardwareSupport(DWORD* mask) noexcept {
  if (mask == nullptr)
    return E_POINTER;
  *mask = 0;
  return S_OK;
}
HRESULT VxTestEndpointVolume::GetVolumeRange(FLOAT* minDb, FLOAT* maxDb, FLOAT* stepDb) noexcept {
  if (minDb == nullptr || maxDb == nullptr || stepDb == nullptr)
    return E_POINTER;
  *minDb = -96.0f;
  *maxDb = 0.0f;
  *stepDb = 0.96f;
  return S_OK;
}
