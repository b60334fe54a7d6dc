#include "testdevices/endpoint/VxTestEndpointVolume.h"

#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <new>
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

// One change on its way to the callbacks registered when it was made; each
// holds a reference until its call returned.
struct Notification {
  std::vector<IAudioEndpointVolumeCallback*> targets;
  std::vector<uint8_t> data;
  DWORD delayMs = 0;
};

// The system notifies from a thread of its own, not the changing one, and may
// still be calling a callback that was unregistered meanwhile. The thread
// keeps this DLL loaded until it has returned from it.
DWORD WINAPI Deliver(void* parameter) {
  HMODULE self = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&Deliver),
                       &self);
  {
    std::unique_ptr<Notification> n(static_cast<Notification*>(parameter));
    if (n->delayMs != 0)
      ::Sleep(n->delayMs);  // a late notification, as when the system is busy
    for (IAudioEndpointVolumeCallback* callback : n->targets) {
      const HRESULT hr =
          callback->OnNotify(reinterpret_cast<AUDIO_VOLUME_NOTIFICATION_DATA*>(n->data.data()));
      VxTestEndpointRecord::Instance().Write(
          "OnNotify", VxRecordFields("callback=0x%llx\thr=0x%08lx", PointerValue(callback),
                                     static_cast<unsigned long>(hr)));
      callback->Release();
    }
  }
  ::FreeLibraryAndExitThread(self, 0);
}

}  // namespace

VxTestEndpointVolume::VxTestEndpointVolume(const std::wstring& endpoint,
                                           UINT channels,
                                           DWORD notifyDelayMs) noexcept
    : VxTestComObject("IAudioEndpointVolume"),
      endpoint_(endpoint),
      channels_(channels),
      notifyDelayMs_(notifyDelayMs) {
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
  std::unique_ptr<Notification> n(new (std::nothrow) Notification);
  if (!n)
    return E_OUTOFMEMORY;
  n->delayMs = notifyDelayMs_;
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
    n->data.assign(size < sizeof(AUDIO_VOLUME_NOTIFICATION_DATA)
                       ? sizeof(AUDIO_VOLUME_NOTIFICATION_DATA)
                       : size,
                   0);
    auto* notification = reinterpret_cast<AUDIO_VOLUME_NOTIFICATION_DATA*>(n->data.data());
    notification->guidEventContext = context != nullptr ? *context : GUID_NULL;
    notification->bMuted = state.muted;
    notification->fMasterVolume = state.master;
    notification->nChannels = channels_;
    for (UINT c = 0; c < channels_; ++c)
      notification->afChannelVolumes[c] = state.channels[c];
    for (const Registration& r : state.registrations) {
      r.callback->AddRef();
      n->targets.push_back(r.callback);
    }
  }
  if (n->targets.empty())
    return S_OK;
  Notification* raw = n.release();
  const HANDLE thread = ::CreateThread(nullptr, 0, &Deliver, raw, 0, nullptr);
  if (thread == nullptr) {
    n.reset(raw);
    for (IAudioEndpointVolumeCallback* callback : n->targets)
      callback->Release();
    return E_OUTOFMEMORY;
  }
  ::CloseHandle(thread);
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
