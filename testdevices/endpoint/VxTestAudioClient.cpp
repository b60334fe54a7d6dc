#include "testdevices/endpoint/VxTestAudioClient.h"

#include <mmreg.h>
#include <objbase.h>

#include <cstring>

#include "testdevices/endpoint/VxTestEndpointRecord.h"

namespace {

constexpr HRESULT kNotInitialized = static_cast<HRESULT>(0x88890001);
constexpr HRESULT kAlreadyInitialized = static_cast<HRESULT>(0x88890002);
constexpr HRESULT kNotStopped = static_cast<HRESULT>(0x88890005);
constexpr HRESULT kUnsupportedFormat = static_cast<HRESULT>(0x88890008);

// {0000tttt-0000-0010-8000-00AA00389B71}
GUID SubTypeOf(uint32_t tag) {
  return GUID{tag & 0xFFFF, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}

std::string Hex(const void* data, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  const auto* p = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < size; ++i) {
    text += kDigits[p[i] >> 4];
    text += kDigits[p[i] & 15];
  }
  return text;
}

// The sample type of a format: the tag, or the sub-type's tag for an
// extensible format with one of the {0000tttt-0000-0010-8000-00AA00389B71} kind.
uint32_t TypeOf(const WAVEFORMATEX* f) {
  if (f->wFormatTag != WAVE_FORMAT_EXTENSIBLE)
    return f->wFormatTag;
  const GUID sub = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(f)->SubFormat;
  const GUID base = SubTypeOf(0);
  return std::memcmp(&sub.Data2, &base.Data2, sizeof(GUID) - sizeof sub.Data1) == 0 &&
                 (sub.Data1 >> 16) == 0
             ? sub.Data1
             : 0xFFFFFFFFu;
}

// Shared mode runs in the mix format only: the same sample type, rate,
// channels, container and block; an extensible format must also have the
// mix's valid bits and speaker mask, and a plain one cannot stand for a mix
// whose valid bits are fewer than its container.
bool SameAsMix(const WAVEFORMATEX* f, const VxTestEndpointConfig& c) {
  const uint32_t mixType = c.formatTag == WAVE_FORMAT_EXTENSIBLE ? c.subTag : c.formatTag;
  if (f->wFormatTag == WAVE_FORMAT_EXTENSIBLE && f->cbSize < 22)
    return false;
  if (TypeOf(f) != mixType || f->nSamplesPerSec != c.sampleRate || f->nChannels != c.channels ||
      f->wBitsPerSample != c.bitsPerSample || f->nBlockAlign != c.BlockAlign())
    return false;
  if (f->wFormatTag != WAVE_FORMAT_EXTENSIBLE)
    return c.EffectiveValidBits() == c.bitsPerSample;
  const auto* x = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(f);
  return x->Samples.wValidBitsPerSample == c.EffectiveValidBits() &&
         (c.formatTag != WAVE_FORMAT_EXTENSIBLE || x->dwChannelMask == c.channelMask);
}

HRESULT Logged(const char* call, HRESULT hr) {
  VxTestEndpointRecord::Instance().Write(
      call, VxRecordFields("hr=0x%08lx", static_cast<unsigned long>(hr)));
  return hr;
}

}  // namespace

VxTestAudioClient::VxTestAudioClient(const VxTestEndpointConfig& config, uint32_t endpoint) noexcept
    : VxTestComObject("IAudioClient"), config_(config), endpoint_(endpoint), stream_(config) {}

VxTestAudioClient::~VxTestAudioClient() {
  const VxTestStream::Counters c = stream_.GetCounters();
  VxTestEndpointRecord::Instance().Write(
      "stream-summary",
      VxRecordFields(
          "endpoint=%u\tpackets=%llu\treleases=%llu\tframes=%llu\tempty=%llu\t"
          "outOfOrder=%llu\tinvalidSize=%llu\tsizeCalls=%llu\tfailedCalls=%llu\tlost=%llu",
          endpoint_, c.packets, c.releases, c.frames, c.emptyGets, c.outOfOrder, c.invalidSize,
          c.sizeCalls, c.failedCalls, c.lostFrames));
}

WAVEFORMATEX* VxTestAudioClient::NewMixFormat(const VxTestEndpointConfig& c) noexcept {
  const bool extensible = c.formatTag == WAVE_FORMAT_EXTENSIBLE;
  const size_t size = extensible ? sizeof(WAVEFORMATEXTENSIBLE) : sizeof(WAVEFORMATEX);
  auto* f = static_cast<WAVEFORMATEX*>(::CoTaskMemAlloc(size));
  if (f == nullptr)
    return nullptr;
  std::memset(f, 0, size);
  f->wFormatTag = static_cast<WORD>(c.formatTag);
  f->nChannels = static_cast<WORD>(c.channels);
  f->nSamplesPerSec = c.sampleRate;
  f->wBitsPerSample = static_cast<WORD>(c.bitsPerSample);
  f->nBlockAlign = static_cast<WORD>(c.BlockAlign());
  f->nAvgBytesPerSec = c.sampleRate * c.BlockAlign();
  if (extensible) {
    auto* x = reinterpret_cast<WAVEFORMATEXTENSIBLE*>(f);
    f->cbSize = 22;
    x->Samples.wValidBitsPerSample = static_cast<WORD>(c.EffectiveValidBits());
    x->dwChannelMask = c.channelMask;
    x->SubFormat = SubTypeOf(c.subTag);
  }
  return f;
}

HRESULT VxTestAudioClient::Initialize(AUDCLNT_SHAREMODE shareMode,
                                      DWORD streamFlags,
                                      REFERENCE_TIME bufferDuration,
                                      REFERENCE_TIME periodicity,
                                      const WAVEFORMATEX* format,
                                      LPCGUID sessionGuid) noexcept {
  HRESULT hr = S_OK;
  if (config_.failInitialize != 0)
    hr = static_cast<HRESULT>(config_.failInitialize);
  else if (format == nullptr)
    hr = E_POINTER;
  else if (initialized_)
    hr = kAlreadyInitialized;
  std::string formatHex = "null";
  bool matches = false;
  if (format != nullptr) {
    // The basic 18 bytes plus the extension, at most the 22 extensible bytes.
    const size_t extra = format->cbSize < 22 ? format->cbSize : 22;
    formatHex = Hex(format, sizeof(WAVEFORMATEX) + extra);
    matches = SameAsMix(format, config_);
    if (hr == S_OK && !matches)
      hr = kUnsupportedFormat;
  }
  VxTestEndpointRecord::Instance().Write(
      "Initialize",
      VxRecordFields("share=%d\tflags=0x%08lx\tduration=%lld\tperiod=%lld\tsession=%s\t"
                     "matchesMix=%d\tformat=%s\thr=0x%08lx",
                     static_cast<int>(shareMode), streamFlags, bufferDuration, periodicity,
                     sessionGuid != nullptr ? "set" : "null", matches ? 1 : 0, formatHex.c_str(),
                     static_cast<unsigned long>(hr)));
  if (SUCCEEDED(hr))
    initialized_ = true;
  return hr;
}

HRESULT VxTestAudioClient::GetBufferSize(UINT32* frames) noexcept {
  if (frames == nullptr)
    return E_POINTER;
  if (!initialized_)
    return kNotInitialized;
  *frames = config_.EffectivePacketFrames() * 4;
  return stream_.Failure();
}

HRESULT VxTestAudioClient::GetStreamLatency(REFERENCE_TIME* latency) noexcept {
  if (latency == nullptr)
    return E_POINTER;
  *latency = 100000;
  return initialized_ ? S_OK : kNotInitialized;
}

HRESULT VxTestAudioClient::GetCurrentPadding(UINT32* frames) noexcept {
  if (frames == nullptr)
    return E_POINTER;
  return stream_.NextPacketSize(frames);
}

HRESULT VxTestAudioClient::IsFormatSupported(AUDCLNT_SHAREMODE,
                                             const WAVEFORMATEX* format,
                                             WAVEFORMATEX** closest) noexcept {
  if (closest != nullptr)
    *closest = nullptr;
  if (format == nullptr)
    return E_POINTER;
  return SameAsMix(format, config_) ? S_OK : kUnsupportedFormat;
}

HRESULT VxTestAudioClient::GetMixFormat(WAVEFORMATEX** format) noexcept {
  if (format == nullptr)
    return Logged("GetMixFormat", E_POINTER);
  *format = nullptr;
  HRESULT hr = static_cast<HRESULT>(config_.failGetMixFormat);
  if (hr == S_OK || config_.mixFormatOnFailure != 0) {
    *format = NewMixFormat(config_);
    if (*format == nullptr)
      hr = E_OUTOFMEMORY;
  }
  VxTestEndpointRecord::Instance().Write(
      "GetMixFormat", VxRecordFields("structure=%d\thr=0x%08lx", *format != nullptr ? 1 : 0,
                                     static_cast<unsigned long>(hr)));
  return hr;
}

HRESULT VxTestAudioClient::GetDevicePeriod(REFERENCE_TIME* defaultPeriod,
                                           REFERENCE_TIME* minimumPeriod) noexcept {
  if (defaultPeriod != nullptr)
    *defaultPeriod = 100000;
  if (minimumPeriod != nullptr)
    *minimumPeriod = 30000;
  return S_OK;
}

HRESULT VxTestAudioClient::Start() noexcept {
  HRESULT hr = S_OK;
  if (config_.failStart != 0)
    hr = static_cast<HRESULT>(config_.failStart);
  else if (!initialized_)
    hr = kNotInitialized;
  else if (started_)
    hr = kNotStopped;
  else
    hr = stream_.Failure();
  if (SUCCEEDED(hr)) {
    started_ = true;
    stream_.Start();
  }
  return Logged("Start", hr);
}

HRESULT VxTestAudioClient::Stop() noexcept {
  HRESULT hr = initialized_ ? (started_ ? S_OK : S_FALSE) : kNotInitialized;
  if (initialized_ && FAILED(stream_.Failure()))
    hr = stream_.Failure();  // the device is gone: nothing stops any more
  started_ = false;
  stream_.Stop();
  return Logged("Stop", hr);
}

HRESULT VxTestAudioClient::Reset() noexcept {
  return Logged("Reset", started_ ? kNotStopped : stream_.Failure());
}

HRESULT VxTestAudioClient::SetEventHandle(HANDLE) noexcept {
  // The loopback capture polls; an event handle is not part of what we serve.
  return Logged("SetEventHandle", static_cast<HRESULT>(0x88890014));
}

HRESULT VxTestAudioClient::GetService(REFIID iid, void** out) noexcept {
  if (out == nullptr)
    return E_POINTER;
  *out = nullptr;
  HRESULT hr = S_OK;
  const bool capture = iid == __uuidof(IAudioCaptureClient);
  if (config_.failGetService != 0)
    hr = static_cast<HRESULT>(config_.failGetService);
  else if (!initialized_)
    hr = kNotInitialized;
  else if (!capture)
    hr = E_NOINTERFACE;
  else
    hr = stream_.Failure();
  if (hr == S_OK)
    *out = static_cast<IAudioCaptureClient*>(new (std::nothrow) VxTestCaptureClient(this));
  if (SUCCEEDED(hr) && *out == nullptr)
    hr = E_OUTOFMEMORY;
  VxTestEndpointRecord::Instance().Write(
      "GetService", VxRecordFields("iid=%s\thr=0x%08lx", capture ? "IAudioCaptureClient" : "other",
                                   static_cast<unsigned long>(hr)));
  return hr;
}

VxTestCaptureClient::VxTestCaptureClient(VxTestAudioClient* client) noexcept
    : VxTestComObject("IAudioCaptureClient"), client_(client) {
  client_->AddRef();
}

VxTestCaptureClient::~VxTestCaptureClient() {
  client_->Release();
}

HRESULT VxTestCaptureClient::GetBuffer(BYTE** data,
                                       UINT32* frames,
                                       DWORD* flags,
                                       UINT64* devicePosition,
                                       UINT64* qpcPosition) noexcept {
  return client_->Stream().GetBuffer(data, frames, flags, devicePosition, qpcPosition);
}

HRESULT VxTestCaptureClient::ReleaseBuffer(UINT32 frames) noexcept {
  return client_->Stream().ReleaseBuffer(frames);
}

HRESULT VxTestCaptureClient::GetNextPacketSize(UINT32* frames) noexcept {
  return client_->Stream().NextPacketSize(frames);
}
