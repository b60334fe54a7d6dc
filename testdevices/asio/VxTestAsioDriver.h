// One test ASIO driver object: IASIO with a configurable card behind it, a
// deterministic input signal (VxTestAsioSignal.h) and a call log
// (VxTestAsioCallLog.h).
//
// Lifetime: made by the class object with one reference, destroyed at the
// final Release (which stops the switch thread first). The configuration is
// read at init() from the driver's registry key (VxTestAsioConfig.h).
//
// Threads: the host calls the IASIO methods from one thread. After start(),
// the driver's own thread (or, for the first switch when so configured, the
// thread calling start()) fills the input halves and calls the host's
// bufferSwitch or bufferSwitchTimeInfo, one switch at a time. stop() ends the
// thread before it returns, unless the driver is told to return from stop()
// while a switch still runs; then the thread is joined at the next
// createBuffers, start or at the final Release.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "foundation/VxHandle.h"
#include "sources/asio/VxAsioInterface.h"
#include "testdevices/asio/VxTestAsioBufferMemory.h"
#include "testdevices/asio/VxTestAsioCallLog.h"
#include "testdevices/asio/VxTestAsioConfig.h"

class VxTestAsioDriver final : public IASIO {
 public:
  // Makes driver `index` and answers QueryInterface(riid) on it.
  static HRESULT Create(int index, REFIID riid, void** out) noexcept;
  // Driver objects alive in this process (for DllCanUnloadNow).
  static long LiveObjects() noexcept;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) noexcept override;
  ULONG STDMETHODCALLTYPE AddRef() noexcept override;
  ULONG STDMETHODCALLTYPE Release() noexcept override;

  ASIOBool init(void* sysHandle) noexcept override;
  void getDriverName(char* name) noexcept override;
  long getDriverVersion() noexcept override;
  void getErrorMessage(char* string) noexcept override;
  ASIOError start() noexcept override;
  ASIOError stop() noexcept override;
  ASIOError getChannels(long* numInputChannels, long* numOutputChannels) noexcept override;
  ASIOError getLatencies(long* inputLatency, long* outputLatency) noexcept override;
  ASIOError getBufferSize(long* minSize,
                          long* maxSize,
                          long* preferredSize,
                          long* granularity) noexcept override;
  ASIOError canSampleRate(ASIOSampleRate sampleRate) noexcept override;
  ASIOError getSampleRate(ASIOSampleRate* sampleRate) noexcept override;
  ASIOError setSampleRate(ASIOSampleRate sampleRate) noexcept override;
  ASIOError getClockSources(ASIOClockSource* clocks, long* numSources) noexcept override;
  ASIOError setClockSource(long reference) noexcept override;
  ASIOError getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) noexcept override;
  ASIOError getChannelInfo(ASIOChannelInfo* info) noexcept override;
  ASIOError createBuffers(ASIOBufferInfo* bufferInfos,
                          long numChannels,
                          long bufferSize,
                          ASIOCallbacks* callbacks) noexcept override;
  ASIOError disposeBuffers() noexcept override;
  ASIOError controlPanel() noexcept override;
  ASIOError future(long selector, void* opt) noexcept override;
  ASIOError outputReady() noexcept override;

 private:
  struct Channel {
    bool input;
    long number;
    ASIOSampleType type;
    void* halves[2];
  };

  VxTestAsioDriver(int index, std::shared_ptr<VxTestAsioCallLog> log, long instance);
  ~VxTestAsioDriver();

  // The object's IUnknown identity is a separate object, as in drivers built on
  // an aggregating framework: QueryInterface(IID_IUnknown) answers it, never
  // the IASIO interface. It has the IASIO table so that a host calling driver
  // methods through it is reported instead of crashing.
  class Identity final : public IASIO {
   public:
    explicit Identity(VxTestAsioDriver& owner) : owner_(owner) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) noexcept override {
      return owner_.QueryInterface(riid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return owner_.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() noexcept override { return owner_.Release(); }
#define VX_MISUSED(type, name, parameters, result) \
  type name parameters noexcept override {         \
    owner_.Misused(#name);                         \
    return result;                                 \
  }
    VX_MISUSED(ASIOBool, init, (void*), ASIOFalse)
    VX_MISUSED(void, getDriverName, (char*), void())
    VX_MISUSED(long, getDriverVersion, (), 0)
    VX_MISUSED(void, getErrorMessage, (char*), void())
    VX_MISUSED(ASIOError, start, (), ASE_NotPresent)
    VX_MISUSED(ASIOError, stop, (), ASE_NotPresent)
    VX_MISUSED(ASIOError, getChannels, (long*, long*), ASE_NotPresent)
    VX_MISUSED(ASIOError, getLatencies, (long*, long*), ASE_NotPresent)
    VX_MISUSED(ASIOError, getBufferSize, (long*, long*, long*, long*), ASE_NotPresent)
    VX_MISUSED(ASIOError, canSampleRate, (ASIOSampleRate), ASE_NotPresent)
    VX_MISUSED(ASIOError, getSampleRate, (ASIOSampleRate*), ASE_NotPresent)
    VX_MISUSED(ASIOError, setSampleRate, (ASIOSampleRate), ASE_NotPresent)
    VX_MISUSED(ASIOError, getClockSources, (ASIOClockSource*, long*), ASE_NotPresent)
    VX_MISUSED(ASIOError, setClockSource, (long), ASE_NotPresent)
    VX_MISUSED(ASIOError, getSamplePosition, (ASIOSamples*, ASIOTimeStamp*), ASE_NotPresent)
    VX_MISUSED(ASIOError, getChannelInfo, (ASIOChannelInfo*), ASE_NotPresent)
    VX_MISUSED(ASIOError,
               createBuffers,
               (ASIOBufferInfo*, long, long, ASIOCallbacks*),
               ASE_NotPresent)
    VX_MISUSED(ASIOError, disposeBuffers, (), ASE_NotPresent)
    VX_MISUSED(ASIOError, controlPanel, (), ASE_NotPresent)
    VX_MISUSED(ASIOError, future, (long, void*), ASE_NotPresent)
    VX_MISUSED(ASIOError, outputReady, (), ASE_NotPresent)
#undef VX_MISUSED

   private:
    VxTestAsioDriver& owner_;
  };

  void Misused(const char* call) {
    log_->Line("FAULT: %s() called through IUnknown", call);
  }
  static const char* SwitchName(bool timeInfo);
  // ASIO's 64-bit counters travel as two 32-bit halves.
  template <typename T>
  static void SplitCounter(uint64_t value, T* out) {
    out->hi = static_cast<unsigned long>(value >> 32);
    out->lo = static_cast<unsigned long>(value);
  }
  bool ChannelExists(bool input, long number) const;
  ASIOError Fail(const char* what, ASIOError code);
  // One buffer switch: fill the input halves, call the host.
  void Switch(bool callerThread);
  static DWORD WINAPI ThreadMain(void* self);
  // With initPostsMessage: posts the message to a window of the calling thread.
  void PostInitMessage();
  // Holds the driver's thread until the init message was dispatched; false
  // when stop() came first.
  bool AwaitInitMessage();
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void RunSwitches();
  // Ends the switch thread and waits for it (no stop() quirks).
  void EndThread();
  // With sharedHardware: this instance's buffers hold the one hardware stream
  // of its class from now on, or no longer.
  void TakeHardware();
  void LeaveHardware();
  // With sharedHardware: `call` of this instance reaches the stream another
  // instance runs; that stream stops and a FAULT line says so.
  void DisturbHardware(const char* call);
  // Why the switch thread makes no further switch now, or null.
  const char* IdleReason() const;

  const int index_;
  const long instance_;
  std::atomic<ULONG> refs_{1};
  std::shared_ptr<VxTestAsioCallLog> log_;
  Identity identity_{*this};
  VxTestAsioConfig config_;
  bool initialized_ = false;
  std::string errorMessage_;
  double rate_ = 0;

  // Written by the host's thread before start(); read by the switch thread.
  std::vector<Channel> channels_;
  long bufferSize_ = 0;
  ASIOCallbacks* callbacks_ = nullptr;  // the host's
  bool timeInfo_ = false;
  std::unique_ptr<VxTestAsioBufferMemory> memory_;
  std::vector<std::unique_ptr<VxTestAsioBufferMemory>> retired_;

  HWND window_ = nullptr;  // made by the thread that called init()
  DWORD windowThread_ = 0;
  VxHandle initDispatched_;  // set by the window when it handles the init message

  VxHandle thread_;
  VxHandle stopEvent_;
  VxHandle handshake_;  // the thread makes its last switch now, or went idle
  bool running_ = false;
  std::atomic<bool> stopPending_{false};
  std::atomic<bool> lateSwitch_{false};
  std::atomic<bool> stopReturned_{false};
  std::atomic<bool> disposed_{false};
  std::atomic<bool> inSwitch_{false};
  VxHandle clientLock_;                    // singleClient: held while this instance is initialised
  std::atomic<bool> hardwareLost_{false};  // another instance took the shared stream
  std::atomic<bool> stalled_{false};       // stallAfterRunMessages: the messages went out
  std::atomic<uint64_t> switches_{0};
  std::atomic<uint64_t> outputReadyCalls_{0};
};
