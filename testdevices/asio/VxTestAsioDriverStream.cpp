// The streaming half of the test driver: buffers, start/stop and the switch
// thread.
#include <cstdio>
#include <string>
#include <vector>

#include "testdevices/asio/VxTestAsioClock.h"
#include "testdevices/asio/VxTestAsioDriver.h"
#include "testdevices/asio/VxTestAsioSignal.h"

namespace {

// How long stop() waits for the next switch when told to return while one
// runs; a thread that misses it is stopped the ordinary way.
constexpr DWORD kLateSwitchWaitMs = 5000;

bool SizeAllowed(const VxTestAsioConfig& c, long size) {
  return size >= c.minBufferSize && size <= c.maxBufferSize;
}

// The one hardware stream of each class in this process, when instances share
// it: the instance whose buffers it carries.
SRWLOCK g_hardwareLock = SRWLOCK_INIT;
VxTestAsioDriver* g_hardwareOwner[kVxTestAsioDriverCount] = {};

}  // namespace

void VxTestAsioDriver::TakeHardware() {
  if (!config_.sharedHardware)
    return;
  ::AcquireSRWLockExclusive(&g_hardwareLock);
  g_hardwareOwner[index_] = this;
  ::ReleaseSRWLockExclusive(&g_hardwareLock);
}

void VxTestAsioDriver::LeaveHardware() {
  ::AcquireSRWLockExclusive(&g_hardwareLock);
  if (g_hardwareOwner[index_] == this)
    g_hardwareOwner[index_] = nullptr;
  ::ReleaseSRWLockExclusive(&g_hardwareLock);
}

void VxTestAsioDriver::DisturbHardware(const char* call) {
  if (!config_.sharedHardware)
    return;
  ::AcquireSRWLockExclusive(&g_hardwareLock);
  VxTestAsioDriver* owner = g_hardwareOwner[index_];
  if (owner && owner != this) {
    owner->hardwareLost_ = true;
    log_->Line("FAULT: %s() of instance %ld disturbs the stream of instance %ld", call, instance_,
               owner->instance_);
  }
  ::ReleaseSRWLockExclusive(&g_hardwareLock);
}

const char* VxTestAsioDriver::IdleReason() const {
  if (config_.switchLimit && switches_ >= config_.switchLimit)
    return "switch limit";
  if (hardwareLost_)
    return "another instance took the hardware";
  if (stalled_)
    return "stalled after the run messages";
  return nullptr;
}

ASIOError VxTestAsioDriver::createBuffers(ASIOBufferInfo* bufferInfos,
                                          long numChannels,
                                          long bufferSize,
                                          ASIOCallbacks* callbacks) noexcept {
  DisturbHardware("createBuffers");
  std::string list;
  for (long i = 0; bufferInfos && i < numChannels && i < 256; ++i)
    list += (i ? ", " : "") + std::string(bufferInfos[i].isInput ? "in " : "out ") +
            std::to_string(bufferInfos[i].channelNum);
  ASIOError result = ASE_OK;
  if (!initialized_)
    result = ASE_NotPresent;
  else if (config_.faults & kVxTestAsioFailCreateBuffers)
    result = Fail("createBuffers", ASE_NoMemory);
  else if (memory_ || running_)
    result = ASE_InvalidMode;
  else if (!bufferInfos || !callbacks || numChannels < 1 || !SizeAllowed(config_, bufferSize))
    result = ASE_InvalidMode;
  for (long i = 0; result == ASE_OK && i < numChannels; ++i)
    if (!ChannelExists(bufferInfos[i].isInput != ASIOFalse, bufferInfos[i].channelNum))
      result = ASE_InvalidParameter;
  if (result != ASE_OK) {
    log_->Line("createBuffers(%ld, %ld, [%s]) = %ld", numChannels, bufferSize, list.c_str(),
               result);
    return result;
  }
  EndThread();

  channels_.clear();
  std::vector<size_t> halfBytes;
  for (long i = 0; i < numChannels; ++i) {
    const bool input = bufferInfos[i].isInput != ASIOFalse;
    const ASIOSampleType type = config_.InputType(input ? bufferInfos[i].channelNum : 0);
    channels_.push_back({input, bufferInfos[i].channelNum, type, {nullptr, nullptr}});
    halfBytes.insert(halfBytes.end(), 2,
                     static_cast<size_t>(bufferSize) * VxTestAsioBytesPerSample(type));
  }
  memory_ = std::make_unique<VxTestAsioBufferMemory>();
  if (!memory_->Allocate(halfBytes, log_)) {
    memory_.reset();
    channels_.clear();
    log_->Line("createBuffers(%ld, %ld, [%s]) = %ld", numChannels, bufferSize, list.c_str(),
               static_cast<long>(ASE_NoMemory));
    return ASE_NoMemory;
  }
  for (long i = 0; i < numChannels; ++i) {
    Channel& c = channels_[i];
    for (int h = 0; h < 2; ++h) {
      const bool missing =
          c.input && c.number == config_.nullBufferChannel && (config_.nullBufferHalves >> h) & 1;
      c.halves[h] = missing ? nullptr : memory_->Half(static_cast<size_t>(i) * 2 + h);
      bufferInfos[i].buffers[h] = c.halves[h];
    }
  }
  bufferSize_ = bufferSize;
  hardwareLost_ = false;
  TakeHardware();
  // Kept as the host's pointer, as real drivers do: the host's structure must
  // outlive the buffers, and its members are called without checks.
  callbacks_ = callbacks;
  disposed_ = false;
  log_->Line("createBuffers(%ld, %ld, [%s]) = 0", numChannels, bufferSize, list.c_str());

  for (const auto& [selector, value] : config_.messages) {
    const long answer = callbacks_->asioMessage(selector, value, nullptr, nullptr);
    log_->Line("asioMessage(%ld, %ld) = %ld", selector, value, answer);
  }
  switch (config_.switchCallback) {
    case VxTestAsioSwitchCallback::kBufferSwitch:
      timeInfo_ = false;
      break;
    case VxTestAsioSwitchCallback::kTimeInfo:
      timeInfo_ = true;
      break;
    default: {
      const long answer = callbacks_->asioMessage(kAsioSupportsTimeInfo, 0, nullptr, nullptr);
      log_->Line("asioMessage(%ld, 0) = %ld", static_cast<long>(kAsioSupportsTimeInfo), answer);
      timeInfo_ = answer == 1;
    }
  }
  return ASE_OK;
}

ASIOError VxTestAsioDriver::disposeBuffers() noexcept {
  DisturbHardware("disposeBuffers");
  if (!memory_) {
    log_->Line("disposeBuffers() = %ld", static_cast<long>(ASE_InvalidMode));
    return ASE_InvalidMode;
  }
  if (running_ && !stopReturned_) {
    log_->Line("note: disposeBuffers() while running, stopping first");
    EndThread();
    running_ = false;
  }
  if (inSwitch_)
    log_->Line("note: disposeBuffers() while %s(%llu) still runs", SwitchName(timeInfo_),
               static_cast<unsigned long long>(switches_ & 1));
  disposed_ = true;
  memory_->Retire();
  retired_.push_back(std::move(memory_));
  LeaveHardware();
  channels_.clear();
  bufferSize_ = 0;
  log_->Line("disposeBuffers() = 0");
  return ASE_OK;
}

ASIOError VxTestAsioDriver::start() noexcept {
  DisturbHardware("start");
  ASIOError result = ASE_OK;
  if (!memory_)
    result = ASE_NotPresent;
  else if (config_.faults & kVxTestAsioFailStart)
    result = Fail("start", ASE_HWMalfunction);
  else if (running_)
    result = ASE_OK;
  else {
    EndThread();
    switches_ = 0;
    outputReadyCalls_ = 0;
    stopPending_ = false;
    lateSwitch_ = false;
    stopReturned_ = false;
    stalled_ = false;
    ::ResetEvent(stopEvent_.get());
    ::ResetEvent(handshake_.get());
    running_ = true;
    // Some drivers make the first switch inside start(), on the host's thread.
    if (config_.firstSwitchInStart)
      Switch(true);
    thread_.reset(::CreateThread(nullptr, 0, &VxTestAsioDriver::ThreadMain, this, 0, nullptr));
    if (!thread_) {
      running_ = false;
      result = ASE_HWMalfunction;
    }
  }
  log_->Line("start() = %ld", result);
  return result;
}

ASIOError VxTestAsioDriver::stop() noexcept {
  DisturbHardware("stop");
  if (!running_) {
    log_->Line("stop() = 0 switches=0 outputReady=0");
    return ASE_OK;
  }
  bool switchRuns = false;
  if (config_.stopDuringSwitch && inSwitch_) {
    // A switch is inside the host: return while it runs, as some drivers do.
    switchRuns = true;
  } else if (config_.stopWhileSwitching) {
    // Let the thread begin one more switch and return while it runs, as some
    // drivers do: the host must not dispose of the buffers under it.
    stopPending_ = true;
    HANDLE waits[2] = {handshake_.get(), thread_.get()};
    ::WaitForMultipleObjects(2, waits, FALSE, kLateSwitchWaitMs);
    switchRuns = lateSwitch_;
  }
  ::SetEvent(stopEvent_.get());
  if (!switchRuns)
    EndThread();
  running_ = false;
  stopReturned_ = true;
  log_->Line("stop() = 0 switches=%llu outputReady=%llu%s",
             static_cast<unsigned long long>(switches_.load()),
             static_cast<unsigned long long>(outputReadyCalls_.load()),
             switchRuns ? " returning while a switch runs" : "");
  return ASE_OK;
}

void VxTestAsioDriver::EndThread() {
  if (!thread_)
    return;
  ::SetEvent(stopEvent_.get());
  // A host may stop the driver from inside a switch: the thread then ends
  // after that switch and is joined by the next call from another thread.
  if (::GetThreadId(thread_.get()) == ::GetCurrentThreadId())
    return;
  ::WaitForSingleObject(thread_.get(), INFINITE);
  thread_.reset();
}

DWORD WINAPI VxTestAsioDriver::ThreadMain(void* self) {
  static_cast<VxTestAsioDriver*>(self)->RunSwitches();
  return 0;
}

void VxTestAsioDriver::RunSwitches() {
  const bool realTime = config_.pace == VxTestAsioPace::kRealTime;
  if (realTime)
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
  if (!AwaitInitMessage())
    return;
  LARGE_INTEGER frequency, now;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&now);
  const double rate = rate_ > 0 ? rate_ : 48000.0;
  const double periodTicks = static_cast<double>(bufferSize_) * frequency.QuadPart / rate;
  double next = static_cast<double>(now.QuadPart) + periodTicks;
  for (;;) {
    if (const char* reason = IdleReason()) {
      log_->Line("idle(switches=%llu, %s)", static_cast<unsigned long long>(switches_.load()),
                 reason);
      ::SetEvent(handshake_.get());
      ::WaitForSingleObject(stopEvent_.get(), INFINITE);
      return;
    }
    DWORD waitMs = 0;
    if (realTime) {
      ::QueryPerformanceCounter(&now);
      const double ahead = next - static_cast<double>(now.QuadPart);
      waitMs = ahead > 0 ? static_cast<DWORD>(ahead * 1000.0 / frequency.QuadPart) : 0;
      next += periodTicks;
    }
    if (::WaitForSingleObject(stopEvent_.get(), waitMs) == WAIT_OBJECT_0)
      return;
    if (stopPending_) {
      lateSwitch_ = true;
      Switch(false);
      return;
    }
    Switch(false);
  }
}

void VxTestAsioDriver::Switch(bool callerThread) {
  const uint64_t number = switches_;
  const long index = static_cast<long>(number & 1);
  const uint64_t firstFrame = number * static_cast<uint64_t>(bufferSize_);
  for (const Channel& c : channels_)
    if (c.input && c.halves[index])
      VxTestAsioFillChannel(c.type, c.number, firstFrame, static_cast<size_t>(bufferSize_),
                            c.halves[index]);
  if (number == 0)
    log_->Line("%s(%ld, 1) thread=%s", SwitchName(timeInfo_), index,
               callerThread ? "caller" : "driver");
  inSwitch_ = true;
  // The late switch says directProcess = false, which hosts may ignore, so
  // that a test host can tell it from the switches before it and hold it.
  const ASIOBool direct = lateSwitch_ ? ASIOFalse : ASIOTrue;
  if (lateSwitch_) {
    // stop() returns now, while this switch is about to call the host. The
    // line goes first, so that it precedes whatever the host logs next.
    log_->Line("LATE: %s(%ld) made while stop() returns", SwitchName(timeInfo_), index);
    ::SetEvent(handshake_.get());
  }
  if (timeInfo_) {
    ASIOTime time = {};
    time.timeInfo.speed = 1.0;
    time.timeInfo.sampleRate = rate_;
    time.timeInfo.flags = kSystemTimeValid | kSamplePositionValid | kSampleRateValid;
    SplitCounter(firstFrame, &time.timeInfo.samplePosition);
    SplitCounter(VxTestAsioNanoseconds(), &time.timeInfo.systemTime);
    callbacks_->bufferSwitchTimeInfo(&time, index, direct);
  } else {
    callbacks_->bufferSwitch(index, direct);
  }
  inSwitch_ = false;
  if (number == 0) {
    for (const auto& [selector, value] : config_.runMessages) {
      if (selector == -1) {
        log_->Line("sampleRateDidChange(%ld)", value);
        callbacks_->sampleRateDidChange(static_cast<ASIOSampleRate>(value));
        continue;
      }
      const long answer = callbacks_->asioMessage(selector, value, nullptr, nullptr);
      log_->Line("asioMessage(%ld, %ld) = %ld thread=%s", selector, value, answer,
                 callerThread ? "caller" : "driver");
    }
    if (config_.stallAfterRunMessages && !config_.runMessages.empty())
      stalled_ = true;
  }
  // Harmless unless the host touched the buffers, which the guard pages report.
  if (disposed_)
    log_->Line("note: %s(%ld) returned after disposeBuffers()", SwitchName(timeInfo_), index);
  ++switches_;
}
