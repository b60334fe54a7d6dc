// The capture side of one test audio client: which packets exist when, the
// signal they carry, silence gaps, a failing stretch, and the pairing of
// GetBuffer and ReleaseBuffer.
//
// Frames are numbered from the first frame produced; packets carry the
// deterministic signal of those frame numbers, every `silentEvery`th one
// flagged silent (its bytes are still the signal), the first after Start,
// a gap or a failing stretch flagged as a discontinuity. Once the stream
// fault is "device invalidated" the device is gone for good: every call of
// the audio and capture clients fails with it from then on. In real-time pace a packet is
// available once wall time since Start (or since the end of the last gap or
// failing stretch) covers it; otherwise one is available whenever asked.
// In real time the engine buffer holds `engineBufferPeriods` packets, as the
// system's does: frames produced beyond it overwrite the oldest ones, whole
// packets at a time, which are counted lost, skipped in the numbering, and
// the next packet handed out is flagged a discontinuity.
// Owned by the audio client; every member is thread-safe.
#pragma once

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <vector>

#include "testdevices/endpoint/VxTestEndpointConfig.h"
#include "testdevices/endpoint/VxTestEndpointSignal.h"

class VxTestStream {
 public:
  struct Counters {
    uint64_t packets = 0;      // GetBuffer calls that handed out data
    uint64_t releases = 0;     // ReleaseBuffer calls that matched one
    uint64_t frames = 0;       // frames released, i.e. consumed
    uint64_t emptyGets = 0;    // GetBuffer with nothing available
    uint64_t outOfOrder = 0;   // GetBuffer twice, or ReleaseBuffer without GetBuffer
    uint64_t invalidSize = 0;  // ReleaseBuffer with another frame count
    uint64_t sizeCalls = 0;    // GetNextPacketSize calls
    uint64_t failedCalls = 0;  // calls answered with the stream fault
    uint64_t lostFrames = 0;   // overwritten in the engine buffer before they were fetched
  };

  explicit VxTestStream(const VxTestEndpointConfig& config) noexcept;

  void Start() noexcept;
  void Stop() noexcept;
  [[nodiscard]] HRESULT NextPacketSize(UINT32* frames) noexcept;
  [[nodiscard]] HRESULT GetBuffer(BYTE** data,
                                  UINT32* frames,
                                  DWORD* flags,
                                  UINT64* devicePosition,
                                  UINT64* qpcPosition) noexcept;
  [[nodiscard]] HRESULT ReleaseBuffer(UINT32 frames) noexcept;
  Counters GetCounters() const noexcept;
  // AUDCLNT_E_DEVICE_INVALIDATED once the device is gone, else S_OK.
  [[nodiscard]] HRESULT Failure() const noexcept;

 private:
  // Advances gaps and faults; answers the fault HRESULT or S_OK, and in
  // *available the frames that may be handed out now. Caller holds mutex_.
  HRESULT Update(uint32_t* available) noexcept;
  double NowMs() const noexcept;
  void RestartClock(double now) noexcept;

  const VxTestEndpointConfig config_;
  const VxTestSignalGenerator signal_;
  const uint32_t blockAlign_;
  const uint32_t packetFrames_;
  mutable std::mutex mutex_;
  LARGE_INTEGER frequency_{};
  bool started_ = false;
  uint64_t delivered_ = 0;
  double clockStartMs_ = 0;
  uint64_t clockBaseFrames_ = 0;
  uint64_t nextGapAt_ = 0;
  bool inGap_ = false;
  double gapEndMs_ = 0;
  bool faultDone_ = false;
  bool invalidated_ = false;
  bool discontinuity_ = false;
  bool inFault_ = false;
  double faultEndMs_ = 0;
  uint32_t outstanding_ = 0;
  bool holding_ = false;
  std::vector<uint8_t> buffer_;
  Counters counters_;
};
