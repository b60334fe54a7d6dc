// CASIOLivePlugin: the live source that captures input channels of a sound
// card through its ASIO driver (factory index 0).
//
// Open loads the driver named by "deviceid=", sets "samplerate=", creates
// buffers for "channels=" inputs from "channelshift=" on, announces the format
// with SetFormat on the host's thread and starts the driver. From then on the
// driver's thread calls the entry points of this source's instance-table slot;
// each buffer switch becomes one interleaved block passed to the sink's Write.
// The source has no thread of its own. Deleting it stops the driver, pauses
// and waits until no switch is running in this source, disposes of the
// buffers, releases the driver and gives back the slot, in that order.
//
// Threads: Open, GetInfo, Configure and the destructor on the host's thread
// (with COM initialised); OnBufferSwitch on the driver's thread, one call at a
// time, possibly also on the host's thread inside the driver's start(). The
// sink is borrowed and must stay valid until the source is deleted.
//
// Layout: IVxAudioLive (through VxAudioLiveBase) is the only base, so a pointer
// to the source is its interface pointer.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include "live_Main/boundary/IVxAudioLive.h"
#include "live_Main/boundary/VxAudioFormat.h"
#include "sources/asio/ASIOWrapper.h"
#include "sources/asio/VxAsioInterface.h"
#include "sources/asio/VxAsioInterleave.h"

class CASIOLivePlugin final : public VxAudioLiveBase {
 public:
  static constexpr int32_t kMaxChannels = ASIOWrapper::kMaxChannels;
  // After the driver's stop() returns, the destructor pauses, then waits for
  // buffer switches still inside this slot's entry points (up to the limit)
  // before it disposes of the buffers, and again after it cleared the slot.
  static constexpr DWORD kStopPauseMs = 20;
  static constexpr DWORD kSwitchDrainLimitMs = 2000;

  // `slot` is the instance-table slot the factory gave this source, or -1.
  // GetInfo: 0 writes "ASIO" and its terminator; 1 and 2 answer 1.
  static constexpr VxSourceInfo kInfo{u"ASIO", 1, 1};

  explicit CASIOLivePlugin(int32_t slot) noexcept : VxAudioLiveBase(kInfo), slot_(slot) {}

  VX_SCALAR_DELETING_DESTRUCTOR(CASIOLivePlugin)
  // 0 when the driver runs; -1 otherwise (every cause is logged). A second
  // Open after one that loaded a driver returns -1 and changes nothing.
  int32_t Open(const char16_t* parameters, IVxAudioLiveSink* sink) noexcept override;
  // 3: the settings string, returns 1; other codes as kInfo says.
  int32_t GetInfo(int32_t code, void* buffer) noexcept override;
  // 0 shows the settings dialog; others -1.
  int32_t Configure(int32_t code, HWND parent) noexcept override;

  ~CASIOLivePlugin();

  // One buffer half `index` (0 or 1) into one block for the sink, then
  // outputReady when the driver takes it. Nothing once closing.
  void OnBufferSwitch(long index) noexcept;

  // The format MakeStreamFormat gives for the driver's sample type; tag 0 for
  // a type the source does not deliver.
  static VxAudioFormat MakeStreamFormat(ASIOSampleType type,
                                        int32_t sampleRate,
                                        int32_t channels) noexcept;
  // asioMessage's answers.
  static long AsioMessage(long selector, long value, void* message, double* opt) noexcept;
  // The callbacks a source in `slot` hands to the driver.
  static ASIOCallbacks CallbacksForSlot(int32_t slot) noexcept;

  int32_t Slot() const { return slot_; }
  bool IsDriverLoaded() const { return driverLoaded_; }
  ASIOWrapper* Wrapper() const { return wrapper_.get(); }
  int32_t BufferSize() const { return bufferSize_; }
  const VxAudioFormat& Format() const { return format_; }

 private:
  friend struct CASIOLivePluginProbe;  // benchmarks drive OnBufferSwitch directly
  friend IVxAudioLive* VxCreateAsioLivePlugin() noexcept;

  // Open's steps; exceptions are turned into -1 by Open.
  int32_t OpenDriver(const char16_t* parameters, IVxAudioLiveSink* sink);
  // Zeroes buffer half `half` of every captured channel.
  void ClearBuffers(int half) noexcept;
  // The settings string of GetInfo(3); answers 1.
  int32_t WriteSettings(void* buffer);
  // Shows the "Information" box for a source without a slot.
  void ReportNoSlot();

  IVxAudioLiveSink* sink_ = nullptr;
  ASIOCallbacks callbacks_ = {};
  ASIOBufferInfo bufferInfos_[kMaxChannels] = {};
  ASIOChannelInfo channelInfos_[kMaxChannels] = {};
  std::unique_ptr<ASIOWrapper> wrapper_;
  int32_t bufferSize_ = 0;
  int32_t numChannels_ = 0;
  uint64_t outputRun_ = 0;  // this run's outputReady target; 0: none
  std::atomic<bool> closing_{false};
  int32_t zone_ = 0;
  bool driverLoaded_ = false;
  int32_t slot_ = -1;
  VxAudioFormat format_;
  // The block of one switch: reused, grows, never shrinks.
  std::unique_ptr<uint8_t[]> blockData_;
  size_t blockSize_ = 0;
  size_t blockCapacity_ = 0;
  // The interleave for the block's shape, made on the first switch.
  VxInterleavePlan interleave_;
};

// Creates the source for factory index 0 and gives it the first free
// instance-table slot (none when all four are taken).
IVxAudioLive* VxCreateAsioLivePlugin() noexcept;
