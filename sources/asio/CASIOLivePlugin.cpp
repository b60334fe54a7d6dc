#include "sources/asio/CASIOLivePlugin.h"

#include <atomic>
#include <climits>
#include <cstring>
#include <new>

#include "foundation/VxBoundaryGuard.h"
#include "foundation/VxNumber.h"
#include "foundation/VxUrl.h"
#include "foundation/runtime/VxPreciseTimer.h"
#include "live_Main/boundary/VxFormatNames.h"
#include "live_Main/host/VxHostLibraries.h"
#include "live_Main/host/VxLog.h"
#include "sources/asio/VxAsioInstanceTable.h"

namespace {

constexpr const char16_t* kOpenSource = u"CASIOLivePlugin::Open";
constexpr const char16_t* kCloseSource = u"CASIOLivePlugin::~CASIOLivePlugin";
constexpr size_t kBlockGrowth = 16384;

// Switch callbacks inside each slot's entry points. An entry point counts
// itself before it reads its slot, so a switch that finds the source a moment
// before the destructor sets closing is still waited for before the buffers
// go, and one that read the slot just before it was cleared is waited for
// before the source's memory goes.
std::atomic<int32_t> gSwitchesInFlight[kVxAsioInstanceCount];

// The driver's callbacks carry no context, so each instance-table slot has its
// own entry points that look up their source at every call.
void SwitchInSlot(int slot, long index) noexcept {
  gSwitchesInFlight[slot].fetch_add(1);
  if (CASIOLivePlugin* source = VxAsioInstanceInSlot(slot))
    source->OnBufferSwitch(index);
  gSwitchesInFlight[slot].fetch_sub(1);
}

template <int kSlot>
void BufferSwitch(long index, ASIOBool) noexcept {
  VxGuardBoundary([&] { SwitchInSlot(kSlot, index); });
}

template <int kSlot>
ASIOTime* BufferSwitchTimeInfo(ASIOTime*, long index, ASIOBool) noexcept {
  VxGuardBoundary([&] { SwitchInSlot(kSlot, index); });
  return nullptr;
}

// A rate change keeps the announced format until the host reopens the source.
void SampleRateDidChange(ASIOSampleRate) noexcept {}

long AsioMessageEntry(long selector, long value, void* message, double* opt) noexcept {
  return VxGuardBoundary(
      0L, [&] { return CASIOLivePlugin::AsioMessage(selector, value, message, opt); });
}

// The driver a switch tells outputReady() after its Write, per slot. A switch
// may outlast the destructor's wait inside the sink's Write; it then must not
// reach the driver once the buffers or the driver are gone. So the call is
// made under the slot's lock, only while the target still belongs to the run
// the switch started in, and the destructor clears the target under the same
// lock before it disposes of the buffers.
struct OutputReadyTarget {
  SRWLOCK lock = SRWLOCK_INIT;
  IASIO* driver = nullptr;
  uint64_t run = 0;
};
OutputReadyTarget gOutputReady[kVxAsioInstanceCount];
std::atomic<uint64_t> gOutputRuns{0};

// Makes `driver` the slot's target for a new run; answers the run's number.
uint64_t SetOutputReadyTarget(int32_t slot, IASIO* driver) noexcept {
  if (slot < 0 || slot >= kVxAsioInstanceCount || !driver)
    return 0;
  OutputReadyTarget& target = gOutputReady[slot];
  const uint64_t run = ++gOutputRuns;
  ::AcquireSRWLockExclusive(&target.lock);
  target.driver = driver;
  target.run = run;
  ::ReleaseSRWLockExclusive(&target.lock);
  return run;
}

// Ends `run`'s target; returns once no switch is inside its outputReady().
void ClearOutputReadyTarget(int32_t slot, uint64_t run) noexcept {
  if (slot < 0 || slot >= kVxAsioInstanceCount || run == 0)
    return;
  OutputReadyTarget& target = gOutputReady[slot];
  ::AcquireSRWLockExclusive(&target.lock);
  if (target.run == run) {
    target.driver = nullptr;
    target.run = 0;
  }
  ::ReleaseSRWLockExclusive(&target.lock);
}

void TellOutputReady(int32_t slot, uint64_t run) noexcept {
  if (slot < 0 || slot >= kVxAsioInstanceCount || run == 0)
    return;
  OutputReadyTarget& target = gOutputReady[slot];
  ::AcquireSRWLockShared(&target.lock);
  if (target.run == run && target.driver)
    (void)target.driver->outputReady();
  ::ReleaseSRWLockShared(&target.lock);
}

// Waits up to `limitMs` until no switch is inside the entry points of `slot`;
// false when the limit passed first.
bool WaitForSwitches(int32_t slot, DWORD limitMs, VxPreciseTimer& timer) noexcept {
  if (slot < 0 || slot >= kVxAsioInstanceCount)
    return true;
  const ULONGLONG deadline = ::GetTickCount64() + limitMs;
  while (gSwitchesInFlight[slot].load() != 0) {
    if (::GetTickCount64() >= deadline)
      return false;
    timer.Sleep(1);
  }
  return true;
}

// Writes a text that was translated and formatted already: as an argument, so
// a "%" in a translation is not read a second time.
void LogText(const char16_t* source, const VxString& text) {
  VxLog(kVxLogLive, source, u"%s", {text});
}

constexpr decltype(ASIOCallbacks::bufferSwitch) kBufferSwitches[kVxAsioInstanceCount] = {
    BufferSwitch<0>, BufferSwitch<1>, BufferSwitch<2>, BufferSwitch<3>};
constexpr decltype(ASIOCallbacks::bufferSwitchTimeInfo)
    kBufferSwitchesTimeInfo[kVxAsioInstanceCount] = {
        BufferSwitchTimeInfo<0>, BufferSwitchTimeInfo<1>, BufferSwitchTimeInfo<2>,
        BufferSwitchTimeInfo<3>};

struct OpenParameters {
  VxString deviceId;
  int32_t sampleRate = 0;
  int32_t channels = 0;
  int32_t channelShift = 0;
};

// "&"-separated pieces; keys compare without regard to case, the last one
// given wins, anything else is ignored.
OpenParameters ParseParameters(const VxString& text) {
  OpenParameters out;
  VxString deviceId, rate, channels, shift;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(u'&', start);
    if (end == VxString::npos)
      end = text.size();
    const std::u16string_view piece(text.data() + start, end - start);
    struct Key {
      std::u16string_view name;
      VxString* value;
    };
    const Key keys[] = {{u"deviceid=", &deviceId},
                        {u"samplerate=", &rate},
                        {u"channels=", &channels},
                        {u"channelshift=", &shift}};
    for (const Key& key : keys) {
      if (VxStartsWithNoCase(piece, key.name)) {
        key.value->assign(piece.substr(key.name.size()));
        break;
      }
    }
    start = end + 1;
  }
  out.deviceId = VxUrlDecode(deviceId);
  out.sampleRate = VxParseInt32(rate);
  out.channels = VxParseInt32(channels);
  out.channelShift = VxParseInt32(shift);
  return out;
}

int BytesPerSample(const VxAudioFormat& format) {
  return format.bitsPerSample / 8;
}

}  // namespace

ASIOCallbacks CASIOLivePlugin::CallbacksForSlot(int32_t slot) noexcept {
  ASIOCallbacks callbacks = {};
  if (slot < 0 || slot >= kVxAsioInstanceCount)
    return callbacks;
  callbacks.bufferSwitch = kBufferSwitches[slot];
  callbacks.sampleRateDidChange = SampleRateDidChange;
  callbacks.asioMessage = AsioMessageEntry;
  callbacks.bufferSwitchTimeInfo = kBufferSwitchesTimeInfo[slot];
  return callbacks;
}

long CASIOLivePlugin::AsioMessage(long selector, long value, void*, double*) noexcept {
  switch (selector) {
    case kAsioSelectorSupported:
      switch (value) {
        case kAsioEngineVersion:
        case kAsioResetRequest:
        case kAsioResyncRequest:
        case kAsioLatenciesChanged:
        case kAsioSupportsTimeInfo:
        case kAsioSupportsTimeCode:
        case kAsioSupportsInputMonitor:
          return 1;
        default:
          return 0;
      }
    case kAsioEngineVersion:
      return 2;
    case kAsioResetRequest:  // acknowledged; the stream keeps running as it is
    case kAsioResyncRequest:
    case kAsioLatenciesChanged:
    case kAsioSupportsTimeInfo:
      return 1;
    default:  // kAsioBufferSizeChange and kAsioSupportsTimeCode included
      return 0;
  }
}

VxAudioFormat CASIOLivePlugin::MakeStreamFormat(ASIOSampleType type,
                                                int32_t sampleRate,
                                                int32_t channels) noexcept {
  VxAudioFormat format;
  format.ResetToInvalid();
  uint16_t bits = 0;
  bool isFloat = false;
  switch (type) {
    case ASIOSTInt16LSB:
      bits = 16;
      break;
    case ASIOSTInt24LSB:
      bits = 24;
      break;
    case ASIOSTInt32LSB:
      bits = 32;
      break;
    case ASIOSTFloat32LSB:
      bits = 32;
      isFloat = true;
      break;
    case ASIOSTFloat64LSB:
      bits = 64;
      isFloat = true;
      break;
    default:
      return format;
  }
  format.sampleRate = static_cast<uint32_t>(sampleRate);
  format.channels = static_cast<uint16_t>(channels);
  format.bitsPerSample = bits;
  format.validBitsPerSample = bits;
  format.blockAlign = static_cast<uint16_t>(format.channels * (bits / 8));
  format.bytesPerSecond = static_cast<uint32_t>(format.blockAlign) * 8u * format.sampleRate / 8u;
  format.extensionSize = 0;
  format.channelMask = 0;
  format.FillChannelMap(0);
  format.sampleFlags &= ~(VxAudioFormat::kFlagBit3 | VxAudioFormat::kFlagBit4);
  if (isFloat)
    format.sampleFlags &= ~VxAudioFormat::kFlagInteger;
  else
    format.sampleFlags |= VxAudioFormat::kFlagInteger;
  format.subFormat = isFloat ? kVxSubTypeFloat : kVxSubTypePcm;
  format.formatTag = isFloat ? 3 : 1;
  return format;
}

void CASIOLivePlugin::ReportNoSlot() {
  const VxString text = VxFormat(
      VxTranslate(
          VxString(u"ASIO can only support %d concurrent outputs at once -- playback can not "
                   u"continue."))
          .c_str(),
      {kVxAsioInstanceCount});
  LogText(kOpenSource, text);
  IVxTools* tools = VxGetTools();
  IVxMessageBoxes* boxes = tools ? tools->GetMessageBoxes(true) : nullptr;
  if (!boxes)
    return;
  const VxString caption = VxTranslate(VxString(u"Information"));
  VxMessageBoxRequest request = {};
  boxes->Prepare(&request, nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONINFORMATION);
  (void)boxes->Show(&request);
}

int32_t CASIOLivePlugin::Open(const char16_t* parameters, IVxAudioLiveSink* sink) noexcept {
  return VxGuardBoundary(-1, [&] { return OpenDriver(parameters, sink); });
}

int32_t CASIOLivePlugin::OpenDriver(const char16_t* parameters, IVxAudioLiveSink* sink) {
  VxLogScope scope(kVxLogLive, kOpenSource);
  if (slot_ < 0) {
    ReportNoSlot();
    return -1;
  }
  // A second Open would replace a wrapper whose driver may be running without
  // stopping it; the first Open's stream stays as it is.
  if (driverLoaded_)
    return -1;
  sink_ = sink;
  VxLog(kVxLogLive, kOpenSource, u"Creating ASIO");
  wrapper_.reset();
  wrapper_ = std::make_unique<ASIOWrapper>();
  const OpenParameters params = ParseParameters(VxString::From(parameters));

  int32_t result = -1;
  if (wrapper_->LoadAndInit(params.deviceId, kOpenSource))
    driverLoaded_ = true;
  if (!driverLoaded_) {
    VxLog(kVxLogLive, kOpenSource, u"Failed to start ASIO");
    VxLog(kVxLogLive, kOpenSource, u"ASIO result (0 is success): %d", {result});
    return result;
  }
  IASIO* driver = wrapper_->Driver();
  const ASIOSampleRate rate = params.sampleRate;
  if (driver->canSampleRate(rate) != ASE_OK || driver->setSampleRate(rate) != ASE_OK) {
    LogText(kOpenSource,
            VxFormat(VxTranslate(VxString(u"The ASIO device does not support the sample rate of "
                                          u"%d Hz."))
                         .c_str(),
                     {params.sampleRate}));
    return -1;
  }
  // Provisional: only its channel count matters until the real format.
  format_.Set(16, static_cast<uint32_t>(params.sampleRate), static_cast<uint16_t>(params.channels),
              0, false, kVxGuidNull);

  long inputs = 0, outputs = 0;
  if (driver->getChannels(&inputs, &outputs) != ASE_OK)
    inputs = 0;
  if (params.channels < 1 || params.channels > kMaxChannels || params.channels > inputs) {
    LogText(kOpenSource,
            VxFormat(VxTranslate(VxString(u"The ASIO device does not support %d input "
                                          u"channels.\r\n\r\n(card supports %d input channels "
                                          u"maximum)"))
                         .c_str(),
                     {params.channels, inputs}));
    return -1;
  }
  // Drivers that take outputReady() are told after every switch.
  if (driver->outputReady() == ASE_OK)
    outputRun_ = SetOutputReadyTarget(slot_, driver);
  callbacks_ = CallbacksForSlot(slot_);
  numChannels_ = params.channels;

  if (!wrapper_->CreateBuffers(bufferInfos_, channelInfos_, numChannels_, params.channelShift,
                               &callbacks_, &bufferSize_)) {
    VxLog(kVxLogLive, kOpenSource, u"Failed to create buffers");
  } else {
    format_ = MakeStreamFormat(channelInfos_[0].type, params.sampleRate, params.channels);
    if (format_.formatTag == 0 || sink_->SetFormat(&format_) != 0) {
      VxLog(kVxLogLive, kOpenSource, u"Unsupported sample type: %s", {FormatName(format_)});
    } else {
      ClearBuffers(0);
      ClearBuffers(1);
      if (driver->start() == ASE_OK)
        result = 0;
    }
  }
  VxLog(kVxLogLive, kOpenSource, u"ASIO result (0 is success): %d", {result});
  return result;
}

int32_t CASIOLivePlugin::GetInfo(int32_t code, void* buffer) noexcept {
  if (code == 3)
    return VxGuardBoundary(-1, [&] { return WriteSettings(buffer); });
  return VxAudioLiveBase::GetInfo(code, buffer);
}

CASIOLivePlugin::~CASIOLivePlugin() {
  bool switchesDrained = true;
  // Every wait below lasts what it says at the default 15.6 ms system tick too.
  VxPreciseTimer timer;
  {
    VxLogScope scope(kVxLogLive, kCloseSource);
    closing_.store(true);
    if (driverLoaded_ && wrapper_) {
      IASIO* driver = wrapper_->Driver();
      VxLog(kVxLogLive, kCloseSource, u"Stopping ASIO");
      if (driver)
        (void)driver->stop();
      // Some drivers return from stop() while a switch still runs on their
      // thread, possibly one that has not reached this source yet. The pause
      // lets such a switch arrive; switches that enter from now on see closing
      // and return at once, and those already inside are waited for before
      // the buffers go away.
      timer.Sleep(kStopPauseMs);
      switchesDrained = WaitForSwitches(slot_, kSwitchDrainLimitMs, timer);
      ClearOutputReadyTarget(slot_, outputRun_);
      outputRun_ = 0;
      VxLog(kVxLogLive, kCloseSource, u"Disposing buffers");
      if (driver)
        (void)driver->disposeBuffers();
      VxLog(kVxLogLive, kCloseSource, u"Exiting ASIO");
      if (wrapper_->IsLoaded())
        wrapper_->Unload();
      VxLog(kVxLogLive, kCloseSource, u"Deleting ASIO wrapper");
      wrapper_.reset();
    }
    VxLog(kVxLogLive, kCloseSource, u"Updating plugins");
    if (slot_ != -1) {
      VxReleaseAsioInstanceSlot(slot_);
      // A switch that read the slot just before it was cleared still reads
      // closing; the source's memory stays until it has left.
      switchesDrained = WaitForSwitches(slot_, kSwitchDrainLimitMs, timer) && switchesDrained;
      slot_ = -1;
    }
  }
  // A switch that outlived the wait may still be inside the sink's Write with
  // the block: the block is then left to it rather than freed under it.
  if (!switchesDrained)
    (void)blockData_.release();
  blockData_.reset();
  blockCapacity_ = 0;
  wrapper_.reset();
}

void CASIOLivePlugin::OnBufferSwitch(long index) noexcept {
  // Sequentially consistent with the slot's in-flight count: either the
  // destructor's wait sees this switch, or this switch sees closing.
  if (closing_.load())
    return;
  if (index != 0 && index != 1)
    return;
  const int bytes = BytesPerSample(format_);
  const int channels = format_.channels;
  const size_t needed =
      static_cast<size_t>(bytes) * static_cast<size_t>(channels) * static_cast<size_t>(bufferSize_);
  blockSize_ = 0;
  if (needed > blockCapacity_) {
    const size_t capacity =
        needed > blockCapacity_ + kBlockGrowth ? needed : blockCapacity_ + kBlockGrowth;
    blockData_.reset();
    blockCapacity_ = 0;
    blockData_.reset(new (std::nothrow) uint8_t[capacity]);
    if (!blockData_)
      return;  // out of memory: this switch writes nothing
    blockCapacity_ = capacity;
  }
  const void* halves[kMaxChannels];
  for (int ch = 0; ch < channels && ch < kMaxChannels; ++ch)
    halves[ch] = bufferInfos_[ch].buffers[index];
  if (!interleave_.Fits(channels, bufferSize_, bytes))
    interleave_ = VxInterleavePlan(channels, bufferSize_, bytes);
  interleave_.Run(blockData_.get(), halves);
  blockSize_ = needed;
  // Nothing of the source is read after Write: a Write that outlasts the
  // destructor's wait must not find freed members on its way out.
  const int32_t slot = slot_;
  const uint64_t run = outputRun_;
  sink_->Write(blockData_.get(), static_cast<int32_t>(blockSize_), false);
  TellOutputReady(slot, run);
}

void CASIOLivePlugin::ClearBuffers(int half) noexcept {
  const size_t bytes = static_cast<size_t>(BytesPerSample(format_)) * bufferSize_;
  for (int ch = 0; ch < format_.channels && ch < kMaxChannels; ++ch) {
    if (void* buffer = bufferInfos_[ch].buffers[half])
      std::memset(buffer, 0, bytes);
  }
}

IVxAudioLive* VxCreateAsioLivePlugin() noexcept {
  auto* source = new (std::nothrow) CASIOLivePlugin(-1);
  if (!source)
    return nullptr;
  source->slot_ = VxTakeAsioInstanceSlot(source);
  return source;
}
