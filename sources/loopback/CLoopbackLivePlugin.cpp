#include "sources/loopback/CLoopbackLivePlugin.h"

#include <new>

#include "foundation/VxHandle.h"
#include "foundation/runtime/VxMmcssScope.h"
#include "foundation/runtime/VxPreciseTimer.h"
#include "live_Main/host/VxLog.h"
#include "sources/loopback/CVistaAudioControl.h"
#include "sources/loopback/VxMixFormat.h"

namespace {

constexpr const char16_t* kCaptureSource = u"CLoopbackLivePlugin::LoopbackCapture";

void LogHr(const char16_t* message, HRESULT hr) {
  VxLog(kVxLogLive, kCaptureSource, message, {static_cast<unsigned long>(hr)});
}

int64_t PacketBytes(const VxAudioFormat& format, UINT32 frames) {
  const int64_t bitsPerFrame = format.blockAlign != 0
                                   ? int64_t{format.blockAlign} * 8
                                   : int64_t{format.channels} * format.bitsPerSample;
  return int64_t{frames} * bitsPerFrame / 8;
}

}  // namespace

CLoopbackLivePlugin::CLoopbackLivePlugin() noexcept : VxAudioLiveBase(kInfo) {
  SetInitializeCom(true);
}

int32_t CLoopbackLivePlugin::Open(const char16_t*, IVxAudioLiveSink* sink) noexcept {
  sink_ = sink;
  // A thread that failed to start is simply not running: the wait ends at once.
  (void)Start(kThreadPriority, false);
  VxPreciseTimer timer;
  while (IsRunning() && ready_.load() == 0)
    timer.Sleep(kPollMs);
  return ready_.load() != 0 ? 0 : -1;
}

CLoopbackLivePlugin::~CLoopbackLivePlugin() {
  Stop(-1);
}

bool CLoopbackLivePlugin::Run() {
  HRESULT hr;
  {
    // The control object lives on this thread's stack; the device reference
    // below is dropped before it, and it unregisters and releases on the way out.
    CVistaAudioControl control;
    control.Attach();
    VxComPtr<IMMDevice> device = VxComPtr<IMMDevice>::Borrow(control.Device());
    hr = LoopbackCapture(device.get());
  }
  return hr == S_OK;
}

HRESULT CLoopbackLivePlugin::LoopbackCapture(IMMDevice* device) noexcept {
  VxLogScope scope(kVxLogLive, kCaptureSource);
  if (!device) {
    LogHr(u"No device", E_POINTER);
    return E_POINTER;
  }
  VxComPtr<IAudioClient> client;
  HRESULT hr = device->Activate(vxcoreaudio::kIidAudioClient, vxcoreaudio::kClsctxAll, nullptr,
                                reinterpret_cast<void**>(client.put()));
  if (FAILED(hr) || !client) {
    if (SUCCEEDED(hr))
      hr = E_POINTER;
    LogHr(u"IMMDevice::Activate(IAudioClient) failed: hr = 0x%08x", hr);
    return hr;
  }

  VxAudioFormat format;
  hr = VxReadMixFormat(client.get(), format);
  if (FAILED(hr)) {
    LogHr(u"IAudioClient::GetMixFormat failed: hr = 0x%08x", hr);
    return hr;
  }
  if (!sink_ || sink_->SetFormat(&format) != 0)
    return E_FAIL;

  // The record's first 40 bytes are the extensible wave format.
  hr = client->Initialize(AUDCLNT_SHAREMODE_SHARED, vxcoreaudio::kStreamFlagsLoopback, 0, 0,
                          reinterpret_cast<const WAVEFORMATEX*>(&format), nullptr);
  if (FAILED(hr)) {
    LogHr(u"IAudioClient::Initialize failed: hr = 0x%08x", hr);
    return hr;
  }
  VxComPtr<IAudioCaptureClient> capture;
  hr = client->GetService(vxcoreaudio::kIidAudioCaptureClient,
                          reinterpret_cast<void**>(capture.put()));
  if (FAILED(hr) || !capture) {
    if (SUCCEEDED(hr))
      hr = E_POINTER;
    LogHr(u"IAudioClient::GetService(IAudioCaptureClient) failed: hr 0x%08x", hr);
    return hr;
  }

  VxMmcssScope mmcss(L"Capture");  // reverted before the interfaces are released
  hr = client->Start();
  if (FAILED(hr)) {
    LogHr(u"IAudioClient::Start failed: hr = 0x%08x", hr);
    return hr;
  }
  PacketLoop(capture.get(), format);
  (void)client->Stop();
  return S_OK;
}

void CLoopbackLivePlugin::PacketLoop(IAudioCaptureClient* capture,
                                     const VxAudioFormat& format) noexcept {
  // Pauses are not waits on the stop event: the flag is checked again within
  // the millisecond anyway. The timer keeps the millisecond one at the default
  // 15.6 ms system tick, where the engine's buffer would overflow between polls.
  VxPreciseTimer timer;
  while (!IsStopRequested()) {
    ready_.store(1);
    UINT32 packetFrames = 0;
    if (FAILED(capture->GetNextPacketSize(&packetFrames))) {
      // A removed or changed endpoint fails every call: pause so that a
      // time-critical thread does not spin a core until it is deleted.
      timer.Sleep(kPollMs);
      continue;
    }
    bool failed = false;
    while (packetFrames == 0 && !IsStopRequested()) {
      timer.Sleep(kPollMs);
      if (FAILED(capture->GetNextPacketSize(&packetFrames))) {
        failed = true;
        break;
      }
    }
    if (failed)
      continue;
    // Fetched even when a stop ended the wait on an empty endpoint: the client
    // then answers AUDCLNT_S_BUFFER_EMPTY, a success with no frames, and the
    // sink gets one Write of zero bytes.
    BYTE* data = nullptr;
    UINT32 frames = 0;
    DWORD flags = 0;
    if (FAILED(capture->GetBuffer(&data, &frames, &flags, nullptr, nullptr))) {
      timer.Sleep(kPollMs);
      continue;
    }
    // Silent and discontinuous packets go out as they are, bytes and all.
    sink_->Write(data, static_cast<int32_t>(PacketBytes(format, frames)), false);
    (void)capture->ReleaseBuffer(frames);
  }
}

IVxAudioLive* VxCreateLoopbackLivePlugin() noexcept {
  return new (std::nothrow) CLoopbackLivePlugin();
}
