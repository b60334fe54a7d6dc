#include "testdevices/endpoint/VxTestRealCapture.h"

#include <mmdeviceapi.h>
#include <propsys.h>

#include <new>

#include "testdevices/endpoint/VxTestEndpointRecord.h"

namespace {

constexpr HRESULT kNotFound = static_cast<HRESULT>(0x80070490);
constexpr DWORD kLoopbackFlag = 0x20000;
constexpr REFERENCE_TIME kShortestForwardedBuffer = 1000000;  // 100 ms
// {A45C254E-DF1C-4EFD-8020-67D146A850E0}, 14
constexpr PROPERTYKEY kFriendlyName = {
    {0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}},
    14};

HRESULT Logged(const char* call, HRESULT hr) {
  VxTestEndpointRecord::Instance().Write(
      call, VxRecordFields("real=1\thr=0x%08lx", static_cast<unsigned long>(hr)));
  return hr;
}

// The system's enumerator, from its server DLL. The DLL is never freed: the
// objects it made may be released at any time, and freeing it when this DLL
// detaches would run under the loader lock (Wine 10 deadlocks there).
HRESULT SystemEnumerator(VxComPtr<IMMDeviceEnumerator>* out) {
  static const HMODULE module = ::LoadLibraryW(L"mmdevapi.dll");
  if (!module)
    return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
  using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  auto get = reinterpret_cast<GetClassObject>(
      reinterpret_cast<void*>(::GetProcAddress(module, "DllGetClassObject")));
  if (get == nullptr)
    return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
  VxComPtr<IClassFactory> factory;
  HRESULT hr = get(__uuidof(MMDeviceEnumerator), __uuidof(IClassFactory),
                   reinterpret_cast<void**>(factory.put()));
  if (FAILED(hr))
    return hr;
  return factory.get()->CreateInstance(nullptr, __uuidof(IMMDeviceEnumerator),
                                       reinterpret_cast<void**>(out->put()));
}

HRESULT FindCaptureEndpoint(IMMDeviceEnumerator* enumerator,
                            const std::wstring& wanted,
                            VxComPtr<IMMDevice>* out) {
  VxComPtr<IMMDeviceCollection> all;
  HRESULT hr = enumerator->EnumAudioEndpoints(eCapture, DEVICE_STATE_ACTIVE, all.put());
  UINT count = 0;
  if (FAILED(hr) || FAILED(hr = all.get()->GetCount(&count)))
    return hr;
  for (UINT i = 0; i < count; ++i) {
    VxComPtr<IMMDevice> device;
    VxComPtr<IPropertyStore> store;
    if (FAILED(all.get()->Item(i, device.put())) ||
        FAILED(device.get()->OpenPropertyStore(STGM_READ, store.put())))
      continue;
    PROPVARIANT value;
    ::PropVariantInit(&value);
    if (FAILED(store.get()->GetValue(kFriendlyName, &value)))
      continue;
    const bool match =
        value.vt == VT_LPWSTR && std::wstring(value.pwszVal).find(wanted) != std::wstring::npos;
    ::PropVariantClear(&value);
    if (match) {
      *out = std::move(device);
      return S_OK;
    }
  }
  return kNotFound;
}

}  // namespace

HRESULT VxTestRealAudioClient::Create(const std::wstring& endpointName,
                                      IAudioClient** out) noexcept {
  *out = nullptr;
  VxComPtr<IMMDeviceEnumerator> enumerator;
  VxComPtr<IMMDevice> device;
  VxComPtr<IAudioClient> real;
  HRESULT hr = SystemEnumerator(&enumerator);
  if (SUCCEEDED(hr))
    hr = FindCaptureEndpoint(enumerator.get(), endpointName, &device);
  if (SUCCEEDED(hr))
    hr = device.get()->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                reinterpret_cast<void**>(real.put()));
  if (SUCCEEDED(hr)) {
    *out = new (std::nothrow)
        VxTestRealAudioClient(std::move(enumerator), std::move(device), std::move(real));
    if (*out == nullptr)
      hr = E_OUTOFMEMORY;
  }
  return Logged("RealCaptureEndpoint", hr);
}

VxTestRealAudioClient::VxTestRealAudioClient(VxComPtr<IMMDeviceEnumerator> enumerator,
                                             VxComPtr<IMMDevice> device,
                                             VxComPtr<IAudioClient> real) noexcept
    : VxTestComObject("IAudioClient"),
      enumerator_(std::move(enumerator)),
      device_(std::move(device)),
      real_(std::move(real)) {}

HRESULT VxTestRealAudioClient::Initialize(AUDCLNT_SHAREMODE shareMode,
                                          DWORD streamFlags,
                                          REFERENCE_TIME bufferDuration,
                                          REFERENCE_TIME periodicity,
                                          const WAVEFORMATEX* format,
                                          LPCGUID sessionGuid) noexcept {
  // Wine's capture client makes a duration of 0 into 30 ms, which is also all
  // that its PulseAudio record stream may hold: one late tick of its timer
  // then drops audio without a flag. The endpoint asks for at least 100 ms
  // (200 ms held more at the stream's end when it stops) and records both
  // figures, so that what the system was asked is known.
  const REFERENCE_TIME forwarded =
      bufferDuration < kShortestForwardedBuffer ? kShortestForwardedBuffer : bufferDuration;
  const HRESULT hr = real_.get()->Initialize(shareMode, streamFlags & ~kLoopbackFlag, forwarded,
                                             periodicity, format, sessionGuid);
  VxTestEndpointRecord::Instance().Write(
      "Initialize",
      VxRecordFields("real=1\tshare=%d\tflags=0x%08lx\tduration=%lld\tforwarded=%lld\t"
                     "period=%lld\thr=0x%08lx",
                     static_cast<int>(shareMode), streamFlags, bufferDuration, forwarded,
                     periodicity, static_cast<unsigned long>(hr)));
  return hr;
}

HRESULT VxTestRealAudioClient::GetBufferSize(UINT32* frames) noexcept {
  return real_.get()->GetBufferSize(frames);
}
HRESULT VxTestRealAudioClient::GetStreamLatency(REFERENCE_TIME* latency) noexcept {
  return real_.get()->GetStreamLatency(latency);
}
HRESULT VxTestRealAudioClient::GetCurrentPadding(UINT32* frames) noexcept {
  return real_.get()->GetCurrentPadding(frames);
}
HRESULT VxTestRealAudioClient::IsFormatSupported(AUDCLNT_SHAREMODE shareMode,
                                                 const WAVEFORMATEX* format,
                                                 WAVEFORMATEX** closest) noexcept {
  return real_.get()->IsFormatSupported(shareMode, format, closest);
}
HRESULT VxTestRealAudioClient::GetMixFormat(WAVEFORMATEX** format) noexcept {
  return Logged("GetMixFormat", real_.get()->GetMixFormat(format));
}
HRESULT VxTestRealAudioClient::GetDevicePeriod(REFERENCE_TIME* defaultPeriod,
                                               REFERENCE_TIME* minimumPeriod) noexcept {
  return real_.get()->GetDevicePeriod(defaultPeriod, minimumPeriod);
}
HRESULT VxTestRealAudioClient::Start() noexcept {
  return Logged("Start", real_.get()->Start());
}
HRESULT VxTestRealAudioClient::Stop() noexcept {
  return Logged("Stop", real_.get()->Stop());
}
HRESULT VxTestRealAudioClient::Reset() noexcept {
  return Logged("Reset", real_.get()->Reset());
}
HRESULT VxTestRealAudioClient::SetEventHandle(HANDLE event) noexcept {
  return Logged("SetEventHandle", real_.get()->SetEventHandle(event));
}

HRESULT VxTestRealAudioClient::GetService(REFIID iid, void** out) noexcept {
  if (out == nullptr)
    return E_POINTER;
  *out = nullptr;
  if (iid != __uuidof(IAudioCaptureClient))
    return Logged("GetService", real_.get()->GetService(iid, out));
  VxComPtr<IAudioCaptureClient> real;
  HRESULT hr = real_.get()->GetService(iid, reinterpret_cast<void**>(real.put()));
  if (SUCCEEDED(hr)) {
    *out = static_cast<IAudioCaptureClient*>(new (std::nothrow)
                                                 VxTestRealCaptureClient(std::move(real)));
    if (*out == nullptr)
      hr = E_OUTOFMEMORY;
  }
  return Logged("GetService", hr);
}

VxTestRealCaptureClient::VxTestRealCaptureClient(VxComPtr<IAudioCaptureClient> real) noexcept
    : VxTestComObject("IAudioCaptureClient"), real_(std::move(real)) {}

HRESULT VxTestRealCaptureClient::GetBuffer(BYTE** data,
                                           UINT32* frames,
                                           DWORD* flags,
                                           UINT64* devicePosition,
                                           UINT64* qpcPosition) noexcept {
  const HRESULT hr = real_.get()->GetBuffer(data, frames, flags, devicePosition, qpcPosition);
  if (hr != 0x08890001)  // AUDCLNT_S_BUFFER_EMPTY: not listed, as in the test stream
    VxTestEndpointRecord::Instance().Write(
        "GetBuffer", VxRecordFields("real=1\tframes=%u\tposition=%llu\tflags=0x%lx\thr=0x%08lx",
                                    frames != nullptr && SUCCEEDED(hr) ? *frames : 0, position_,
                                    flags != nullptr && SUCCEEDED(hr) ? *flags : 0,
                                    static_cast<unsigned long>(hr)));
  return hr;
}

HRESULT VxTestRealCaptureClient::ReleaseBuffer(UINT32 frames) noexcept {
  const HRESULT hr = real_.get()->ReleaseBuffer(frames);
  if (SUCCEEDED(hr))
    position_ += frames;
  VxTestEndpointRecord::Instance().Write(
      "ReleaseBuffer",
      VxRecordFields("real=1\tframes=%u\thr=0x%08lx", frames, static_cast<unsigned long>(hr)));
  return hr;
}

HRESULT VxTestRealCaptureClient::GetNextPacketSize(UINT32* frames) noexcept {
  return real_.get()->GetNextPacketSize(frames);
}
