#include "testdevices/asio/VxTestAsioDriver.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "testdevices/asio/VxTestAsioClock.h"
#include "testdevices/asio/VxTestAsioSignal.h"

namespace {

std::atomic<long> g_liveObjects{0};
std::atomic<long> g_instances{0};

std::string Ansi(const std::wstring& text) {
  char buffer[256] = {};
  ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, buffer, sizeof buffer - 1, nullptr, nullptr);
  return buffer;
}

std::string GuidText(REFGUID id) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", id.Data1,
                id.Data2, id.Data3, id.Data4[0], id.Data4[1], id.Data4[2], id.Data4[3], id.Data4[4],
                id.Data4[5], id.Data4[6], id.Data4[7]);
  return text;
}

void CopyText(char* out, size_t capacity, const std::string& text) {
  const size_t n = std::min(text.size(), capacity - 1);
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

}  // namespace

HRESULT VxTestAsioDriver::Create(int index, REFIID riid, void** out) noexcept {
  *out = nullptr;
  const VxTestAsioConfig config = VxTestAsioConfig::Load(index);
  auto log = VxTestAsioCallLog::Open(config.logFile);
  auto* driver = new (std::nothrow) VxTestAsioDriver(index, log, ++g_instances);
  if (!driver)
    return E_OUTOFMEMORY;
  const HRESULT hr = driver->QueryInterface(riid, out);
  driver->Release();
  return hr;
}

const char* VxTestAsioDriver::SwitchName(bool timeInfo) {
  return timeInfo ? "bufferSwitchTimeInfo" : "bufferSwitch";
}

long VxTestAsioDriver::LiveObjects() noexcept {
  return g_liveObjects.load();
}

VxTestAsioDriver::VxTestAsioDriver(int index, std::shared_ptr<VxTestAsioCallLog> log, long instance)
    : index_(index), instance_(instance), log_(std::move(log)) {
  ++g_liveObjects;
  stopEvent_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  handshake_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  log_->Line("created(class=%s, instance=%ld)", GuidText(VxTestAsioClassId(index)).c_str(),
             instance_);
}

VxTestAsioDriver::~VxTestAsioDriver() {
  if (inSwitch_)
    log_->Line("note: Release() = 0 while %s still runs", SwitchName(timeInfo_));
  if (running_ && !stopReturned_)
    log_->Line("FAULT: Release() = 0 while the driver runs (no stop())");
  EndThread();
  if (window_) {
    // The system's own procedure again, so that nothing reaches this module
    // once it may be gone; a window of another thread is closed by its owner.
    ::SetWindowLongPtrW(window_, GWLP_WNDPROC, ::GetWindowLongPtrW(window_, GWLP_USERDATA));
    if (windowThread_ == ::GetCurrentThreadId())
      ::DestroyWindow(window_);
    else
      ::PostMessageW(window_, WM_CLOSE, 0, 0);
  }
  LeaveHardware();
  if (memory_)
    log_->Line("note: Release() = 0 without disposeBuffers()");
  memory_.reset();
  retired_.clear();
  log_->Line("destroyed(instance=%ld)", instance_);
  --g_liveObjects;
}

HRESULT VxTestAsioDriver::QueryInterface(REFIID riid, void** out) noexcept {
  if (!out)
    return E_POINTER;
  HRESULT hr = E_NOINTERFACE;
  *out = nullptr;
  // The ASIO convention: the host asks for the driver's class ID as interface.
  if (::IsEqualGUID(riid, VxTestAsioClassId(index_)))
    *out = static_cast<IASIO*>(this);
  else if (::IsEqualGUID(riid, IID_IUnknown))
    *out = static_cast<IUnknown*>(&identity_);
  if (*out) {
    AddRef();
    hr = S_OK;
  }
  log_->Line("QueryInterface(%s) = 0x%08lx", GuidText(riid).c_str(),
             static_cast<unsigned long>(hr));
  return hr;
}

ULONG VxTestAsioDriver::AddRef() noexcept {
  const ULONG refs = ++refs_;
  log_->Line("AddRef() = %lu", refs);
  return refs;
}

ULONG VxTestAsioDriver::Release() noexcept {
  const ULONG refs = --refs_;
  log_->Line("Release() = %lu", refs);
  if (refs == 0)
    delete this;
  return refs;
}

namespace {

// The one client a single-client device takes, seen by every process: a named
// mutex per class and configuration root (so that tests running at the same
// time do not share a device).
VxHandle ClaimClient(int index) {
  std::wstring path = VxTestAsioConfigPath(index);
  std::replace(path.begin(), path.end(), L'\\', L'.');
  const std::wstring name = L"Local\\VxTestAsio.client." + path;
  VxHandle lock(::CreateMutexW(nullptr, FALSE, name.c_str()));
  if (lock && ::GetLastError() == ERROR_ALREADY_EXISTS)
    lock.reset();
  return lock;
}

}  // namespace

ASIOBool VxTestAsioDriver::init(void* sysHandle) noexcept {
  config_ = VxTestAsioConfig::Load(index_);
  rate_ = config_.currentRate;
  initialized_ = !(config_.faults & kVxTestAsioFailInit);
  if (!initialized_) {
    errorMessage_ = config_.errorMessage;
  } else if (config_.singleClient && !clientLock_ && !(clientLock_ = ClaimClient(index_))) {
    initialized_ = false;
    errorMessage_ = "The device is in use by another client";
  }
  if (initialized_ && config_.initPostsMessage)
    PostInitMessage();
  log_->Line("init(%p) = %d", sysHandle, initialized_ ? 1 : 0);
  return initialized_ ? ASIOTrue : ASIOFalse;
}

namespace {
constexpr UINT kInitMessage = WM_APP + 0x5A;
constexpr DWORD kInitMessageFaultMs = 2000;
}  // namespace

LRESULT CALLBACK VxTestAsioDriver::WindowProc(HWND window,
                                              UINT message,
                                              WPARAM wParam,
                                              LPARAM lParam) {
  if (message == kInitMessage) {
    // The message carries its own duplicate of the driver's event, so that it
    // is safe to handle after the driver is gone.
    const HANDLE dispatched = reinterpret_cast<HANDLE>(lParam);
    ::SetEvent(dispatched);
    ::CloseHandle(dispatched);
    return 0;
  }
  const auto system = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  return ::CallWindowProcW(system, window, message, wParam, lParam);
}

void VxTestAsioDriver::PostInitMessage() {
  if (!window_) {
    window_ = ::CreateWindowExW(0, L"STATIC", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                nullptr, nullptr);
    if (!window_) {
      log_->Line("FAULT: init() could not make its window (error %lu)", ::GetLastError());
      return;
    }
    windowThread_ = ::GetCurrentThreadId();
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, ::GetWindowLongPtrW(window_, GWLP_WNDPROC));
    ::SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc));
    initDispatched_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  }
  HANDLE copy = nullptr;
  if (!::DuplicateHandle(::GetCurrentProcess(), initDispatched_.get(), ::GetCurrentProcess(), &copy,
                         0, FALSE, DUPLICATE_SAME_ACCESS) ||
      !::PostMessageW(window_, kInitMessage, 0, reinterpret_cast<LPARAM>(copy))) {
    log_->Line("FAULT: init() could not post its message (error %lu)", ::GetLastError());
    return;
  }
  log_->Line("posted(init message, thread=%lu)", windowThread_);
}

bool VxTestAsioDriver::AwaitInitMessage() {
  if (!initDispatched_)
    return true;
  HANDLE waits[2] = {stopEvent_.get(), initDispatched_.get()};
  DWORD r = ::WaitForMultipleObjects(2, waits, FALSE, kInitMessageFaultMs);
  if (r == WAIT_TIMEOUT) {
    log_->Line(
        "FAULT: the message posted in init() was not dispatched within %lu ms (the creating "
        "thread does not pump messages)",
        kInitMessageFaultMs);
    r = ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
  }
  if (r != WAIT_OBJECT_0 + 1)
    return false;
  log_->Line("dispatched(init message)");
  return true;
}

void VxTestAsioDriver::getDriverName(char* name) noexcept {
  const std::string text = Ansi(config_.name);
  CopyText(name, 32, text);
  log_->Line("getDriverName() = \"%s\"", name);
}

long VxTestAsioDriver::getDriverVersion() noexcept {
  log_->Line("getDriverVersion() = %ld", config_.version);
  return config_.version;
}

void VxTestAsioDriver::getErrorMessage(char* string) noexcept {
  CopyText(string, 124, errorMessage_);
  log_->Line("getErrorMessage() = \"%s\"", string);
}

ASIOError VxTestAsioDriver::Fail(const char* what, ASIOError code) {
  errorMessage_ = std::string(what) + " failed as the test driver was told";
  return code;
}

bool VxTestAsioDriver::ChannelExists(bool input, long number) const {
  return number >= 0 && number < (input ? config_.inputs : config_.outputs);
}

ASIOError VxTestAsioDriver::getChannels(long* numInputChannels, long* numOutputChannels) noexcept {
  ASIOError result = ASE_OK;
  if (!initialized_)
    result = ASE_NotPresent;
  else if (!numInputChannels || !numOutputChannels)
    result = ASE_InvalidParameter;
  else if (config_.faults & kVxTestAsioFailGetChannels)
    result = Fail("getChannels", ASE_NotPresent);
  else {
    *numInputChannels = config_.inputs;
    *numOutputChannels = config_.outputs;
  }
  log_->Line("getChannels() = %ld inputs=%ld outputs=%ld", result,
             result == ASE_OK ? config_.inputs : 0, result == ASE_OK ? config_.outputs : 0);
  return result;
}

ASIOError VxTestAsioDriver::getLatencies(long* inputLatency, long* outputLatency) noexcept {
  ASIOError result = ASE_OK;
  const long latency = bufferSize_ ? bufferSize_ : config_.preferredBufferSize;
  if (!initialized_)
    result = ASE_NotPresent;
  else if (!inputLatency || !outputLatency)
    result = ASE_InvalidParameter;
  else if (config_.faults & kVxTestAsioFailGetLatencies)
    result = Fail("getLatencies", ASE_NotPresent);
  else
    *inputLatency = *outputLatency = latency;
  log_->Line("getLatencies() = %ld input=%ld output=%ld", result, latency, latency);
  return result;
}

ASIOError VxTestAsioDriver::getBufferSize(long* minSize,
                                          long* maxSize,
                                          long* preferredSize,
                                          long* granularity) noexcept {
  ASIOError result = ASE_OK;
  if (!initialized_)
    result = ASE_NotPresent;
  else if (!minSize || !maxSize || !preferredSize || !granularity)
    result = ASE_InvalidParameter;
  else if (config_.faults & kVxTestAsioFailGetBufferSize)
    result = Fail("getBufferSize", ASE_NotPresent);
  else {
    *minSize = config_.minBufferSize;
    *maxSize = config_.maxBufferSize;
    *preferredSize = config_.preferredBufferSize;
    *granularity = config_.granularity;
  }
  log_->Line("getBufferSize() = %ld min=%ld max=%ld preferred=%ld granularity=%ld", result,
             config_.minBufferSize, config_.maxBufferSize, config_.preferredBufferSize,
             config_.granularity);
  return result;
}

ASIOError VxTestAsioDriver::canSampleRate(ASIOSampleRate sampleRate) noexcept {
  ASIOError result = ASE_NoClock;
  if (!initialized_)
    result = ASE_NotPresent;
  else if (config_.faults & kVxTestAsioFailCanSampleRate)
    result = Fail("canSampleRate", ASE_NoClock);
  else if (std::find(config_.sampleRates.begin(), config_.sampleRates.end(), sampleRate) !=
           config_.sampleRates.end())
    result = ASE_OK;
  log_->Line("canSampleRate(%.17g) = %ld", sampleRate, result);
  return result;
}

ASIOError VxTestAsioDriver::getSampleRate(ASIOSampleRate* sampleRate) noexcept {
  const ASIOError result = !initialized_ ? ASE_NotPresent
                           : sampleRate  ? ASE_OK
                                         : ASE_InvalidParameter;
  if (result == ASE_OK)
    *sampleRate = rate_;
  log_->Line("getSampleRate() = %ld rate=%.17g", result, rate_);
  return result;
}

ASIOError VxTestAsioDriver::setSampleRate(ASIOSampleRate sampleRate) noexcept {
  DisturbHardware("setSampleRate");
  ASIOError result = ASE_NoClock;
  if (!initialized_)
    result = ASE_NotPresent;
  else if (config_.faults & kVxTestAsioFailSetSampleRate)
    result = Fail("setSampleRate", ASE_NoClock);
  else if (std::find(config_.sampleRates.begin(), config_.sampleRates.end(), sampleRate) !=
           config_.sampleRates.end()) {
    rate_ = sampleRate;
    result = ASE_OK;
  }
  log_->Line("setSampleRate(%.17g) = %ld", sampleRate, result);
  return result;
}

ASIOError VxTestAsioDriver::getClockSources(ASIOClockSource* clocks, long* numSources) noexcept {
  ASIOError result = ASE_InvalidParameter;
  if (clocks && numSources && *numSources >= 1) {
    std::memset(clocks, 0, sizeof *clocks);
    clocks->associatedChannel = -1;
    clocks->associatedGroup = -1;
    clocks->isCurrentSource = ASIOTrue;
    CopyText(clocks->name, sizeof clocks->name, "Internal");
    *numSources = 1;
    result = ASE_OK;
  }
  log_->Line("getClockSources() = %ld", result);
  return result;
}

ASIOError VxTestAsioDriver::setClockSource(long reference) noexcept {
  const ASIOError result = reference == 0 ? ASE_OK : ASE_InvalidParameter;
  log_->Line("setClockSource(%ld) = %ld", reference, result);
  return result;
}

ASIOError VxTestAsioDriver::getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) noexcept {
  const uint64_t position = switches_ * static_cast<uint64_t>(bufferSize_);
  if (sPos)
    SplitCounter(position, sPos);
  if (tStamp)
    SplitCounter(VxTestAsioNanoseconds(), tStamp);
  log_->Line("getSamplePosition() = 0 position=%llu", static_cast<unsigned long long>(position));
  return ASE_OK;
}

ASIOError VxTestAsioDriver::getChannelInfo(ASIOChannelInfo* info) noexcept {
  if (!info)
    return ASE_InvalidParameter;
  ASIOError result = ASE_OK;
  const bool input = info->isInput != ASIOFalse;
  if (!initialized_)
    result = ASE_NotPresent;
  else if (config_.faults & kVxTestAsioFailGetChannelInfo)
    result = Fail("getChannelInfo", ASE_NotPresent);
  else if (!ChannelExists(input, info->channel))
    result = ASE_InvalidParameter;
  else {
    info->type = config_.InputType(input ? info->channel : 0);
    info->channelGroup = 0;
    info->isActive = ASIOFalse;
    for (const Channel& c : channels_)
      if (c.input == input && c.number == info->channel)
        info->isActive = ASIOTrue;
    std::snprintf(info->name, sizeof info->name, "%s %ld", input ? "Input" : "Output",
                  info->channel + 1);
  }
  log_->Line("getChannelInfo(%ld, %d) = %ld type=%ld", info->channel, input ? 1 : 0, result,
             result == ASE_OK ? info->type : -1);
  return result;
}

ASIOError VxTestAsioDriver::controlPanel() noexcept {
  log_->Line("controlPanel() = 0");
  return ASE_OK;
}

ASIOError VxTestAsioDriver::future(long selector, void* opt) noexcept {
  log_->Line("future(%ld, %p) = %ld", selector, opt, static_cast<long>(ASE_InvalidParameter));
  return ASE_InvalidParameter;
}

ASIOError VxTestAsioDriver::outputReady() noexcept {
  if (disposed_)
    log_->Line("FAULT: outputReady() after disposeBuffers()");
  if (refs_.load() == 0)
    log_->Line("FAULT: outputReady() after the final Release()");
  // Called once per switch: only the first call of a run is logged, stop()
  // reports the count.
  if (outputReadyCalls_++ == 0)
    log_->Line("outputReady() = %ld", config_.outputReadyResult);
  return config_.outputReadyResult;
}
