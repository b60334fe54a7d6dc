#include "testdevices/endpoint/VxTestStream.h"

#include "testdevices/endpoint/VxTestEndpointRecord.h"

namespace {

constexpr HRESULT kBufferEmpty = 0x08890001;  // AUDCLNT_S_BUFFER_EMPTY
constexpr HRESULT kOutOfOrder = static_cast<HRESULT>(0x88890007);
constexpr HRESULT kInvalidSize = static_cast<HRESULT>(0x88890011);
constexpr uint64_t kNever = ~uint64_t{0};
constexpr uint32_t kDeviceInvalidated = 0x88890004;
constexpr DWORD kFlagDiscontinuity = 0x1;  // AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY
constexpr DWORD kFlagSilent = 0x2;         // AUDCLNT_BUFFERFLAGS_SILENT

}  // namespace

VxTestStream::VxTestStream(const VxTestEndpointConfig& config) noexcept
    : config_(config),
      signal_(config.SignalFormat()),
      blockAlign_(config.BlockAlign()),
      packetFrames_(config.EffectivePacketFrames()) {
  ::QueryPerformanceFrequency(&frequency_);
  nextGapAt_ = config_.gapMs != 0 ? config_.gapAfterFrames : kNever;
  buffer_.resize(static_cast<size_t>(packetFrames_) * blockAlign_);
}

double VxTestStream::NowMs() const noexcept {
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency_.QuadPart);
}

void VxTestStream::RestartClock(double now) noexcept {
  clockStartMs_ = now;
  clockBaseFrames_ = delivered_;
}

void VxTestStream::Start() noexcept {
  std::lock_guard<std::mutex> lock(mutex_);
  started_ = true;
  discontinuity_ = true;
  RestartClock(NowMs());
}

HRESULT VxTestStream::Failure() const noexcept {
  std::lock_guard<std::mutex> lock(mutex_);
  return invalidated_ ? static_cast<HRESULT>(kDeviceInvalidated) : S_OK;
}

void VxTestStream::Stop() noexcept {
  std::lock_guard<std::mutex> lock(mutex_);
  started_ = false;
}

HRESULT VxTestStream::Update(uint32_t* available) noexcept {
  *available = 0;
  const double now = NowMs();
  VxTestEndpointRecord& record = VxTestEndpointRecord::Instance();
  if (inFault_) {
    // A device once invalidated stays so, as on the system.
    if (invalidated_ || config_.failStreamMs == kVxTestEndpointForever || now < faultEndMs_)
      return static_cast<HRESULT>(config_.failStreamHr);
    inFault_ = false;
    discontinuity_ = true;
    RestartClock(now);
    record.Write("fault-end", VxRecordFields("frame=%llu", delivered_));
  }
  if (!faultDone_ && config_.failStreamMs != 0 && started_ &&
      delivered_ >= config_.failStreamAfterFrames) {
    faultDone_ = inFault_ = true;
    invalidated_ = config_.failStreamHr == kDeviceInvalidated;
    faultEndMs_ = now + config_.failStreamMs;
    record.Write("fault-begin", VxRecordFields("frame=%llu\thr=0x%08lx", delivered_,
                                               static_cast<unsigned long>(config_.failStreamHr)));
    return static_cast<HRESULT>(config_.failStreamHr);
  }
  if (!started_)
    return S_OK;
  if (inGap_) {
    if (now < gapEndMs_)
      return S_OK;
    inGap_ = false;
    discontinuity_ = true;
    RestartClock(now);
    nextGapAt_ = config_.gapRepeat != 0 && config_.gapAfterFrames != 0
                     ? delivered_ + config_.gapAfterFrames
                     : kNever;
    record.Write("gap-end", VxRecordFields("frame=%llu", delivered_));
  }
  if (delivered_ >= nextGapAt_) {
    inGap_ = true;
    gapEndMs_ = now + config_.gapMs;
    record.Write("gap-begin", VxRecordFields("frame=%llu\tms=%u", delivered_, config_.gapMs));
    return S_OK;
  }
  if (config_.realTime == 0) {
    *available = packetFrames_;
    return S_OK;
  }
  const double elapsedMs = now - clockStartMs_;
  const uint64_t produced =
      clockBaseFrames_ + static_cast<uint64_t>(elapsedMs * config_.sampleRate / 1000.0);
  const uint64_t capacity = uint64_t{config_.engineBufferPeriods} * packetFrames_;
  // A packet the client holds stays; the overwrite is seen at the next call.
  if (capacity != 0 && !holding_ && produced > delivered_ + capacity) {
    const uint64_t over = produced - delivered_ - capacity;
    const uint64_t lost = (over + packetFrames_ - 1) / packetFrames_ * packetFrames_;
    record.Write("overrun", VxRecordFields("frame=%llu	lost=%llu", delivered_, lost));
    delivered_ += lost;
    counters_.lostFrames += lost;
    discontinuity_ = true;
  }
  if (produced >= delivered_ + packetFrames_)
    *available = packetFrames_;
  return S_OK;
}

HRESULT VxTestStream::NextPacketSize(UINT32* frames) noexcept {
  if (frames == nullptr)
    return E_POINTER;
  std::lock_guard<std::mutex> lock(mutex_);
  ++counters_.sizeCalls;
  uint32_t available = 0;
  const HRESULT hr = Update(&available);
  if (FAILED(hr)) {
    ++counters_.failedCalls;
    return hr;
  }
  *frames = holding_ ? outstanding_ : available;
  return S_OK;
}

HRESULT VxTestStream::GetBuffer(BYTE** data,
                                UINT32* frames,
                                DWORD* flags,
                                UINT64* devicePosition,
                                UINT64* qpcPosition) noexcept {
  if (data == nullptr || frames == nullptr || flags == nullptr)
    return E_POINTER;
  HRESULT hr = S_OK;
  std::lock_guard<std::mutex> lock(mutex_);
  *data = nullptr;
  *frames = 0;
  *flags = 0;
  uint32_t available = 0;
  if (holding_) {
    ++counters_.outOfOrder;
    hr = kOutOfOrder;
  } else if (hr = Update(&available); FAILED(hr)) {
    ++counters_.failedCalls;
  } else if (available == 0) {
    ++counters_.emptyGets;
    hr = kBufferEmpty;
  } else {
    // A silent packet still holds whatever the buffer had: callers must not
    // trust its bytes to be zero, nor drop it.
    signal_.Fill(delivered_, available, buffer_.data());
    *data = buffer_.data();
    *frames = available;
    if (discontinuity_)
      *flags |= kFlagDiscontinuity;
    if (config_.silentEvery != 0 &&
        counters_.packets % config_.silentEvery == config_.silentEvery - 1)
      *flags |= kFlagSilent;
    discontinuity_ = false;
    holding_ = true;
    outstanding_ = available;
    ++counters_.packets;
    if (devicePosition != nullptr)
      *devicePosition = delivered_;
    if (qpcPosition != nullptr) {
      LARGE_INTEGER now;
      ::QueryPerformanceCounter(&now);
      *qpcPosition = static_cast<UINT64>(now.QuadPart);
    }
  }
  if (config_.recordPackets != 0 && hr != kBufferEmpty)
    VxTestEndpointRecord::Instance().Write(
        "GetBuffer", VxRecordFields("frames=%u\tposition=%llu\tflags=0x%lx\thr=0x%08lx", *frames,
                                    delivered_, *flags, static_cast<unsigned long>(hr)));
  return hr;
}

HRESULT VxTestStream::ReleaseBuffer(UINT32 frames) noexcept {
  HRESULT hr = S_OK;
  std::lock_guard<std::mutex> lock(mutex_);
  if (invalidated_) {
    ++counters_.failedCalls;
    holding_ = false;
    hr = static_cast<HRESULT>(kDeviceInvalidated);
  } else if (!holding_) {
    ++counters_.outOfOrder;
    hr = kOutOfOrder;
  } else if (frames != 0 && frames != outstanding_) {
    ++counters_.invalidSize;
    holding_ = false;
    hr = kInvalidSize;
  } else {
    // Releasing 0 frames hands the packet back unread; the next GetBuffer
    // returns it again.
    holding_ = false;
    delivered_ += frames;
    counters_.frames += frames;
    ++counters_.releases;
  }
  if (config_.recordPackets != 0)
    VxTestEndpointRecord::Instance().Write(
        "ReleaseBuffer",
        VxRecordFields("frames=%u\thr=0x%08lx", frames, static_cast<unsigned long>(hr)));
  return hr;
}

VxTestStream::Counters VxTestStream::GetCounters() const noexcept {
  std::lock_guard<std::mutex> lock(mutex_);
  return counters_;
}
