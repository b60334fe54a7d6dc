// CLoopbackLivePlugin: the live source that records what the computer plays on
// its default playback endpoint (factory index 1, name "Loopback").
//
// Open starts a capture thread at time-critical priority with COM initialised
// and returns once the thread reports that capture runs (0) or has ended
// without getting there (-1). The thread attaches an endpoint control object
// to the default playback endpoint, opens its audio client in shared loopback
// mode with the endpoint's mix format unchanged, announces that format to the
// sink, registers with the multimedia class scheduler as "Capture" and polls
// the capture client, handing every packet to the sink's Write straight from
// the client's buffer (Write must not keep the pointer), whatever its flags
// say. An empty endpoint is asked again every millisecond; when a stop ends
// that wait, the empty fetch still goes to the sink as a Write of zero bytes.
// Failing calls in the loop are retried after the same pause, until the
// source is deleted. Every failure before streaming
// is logged in category 64 under "CLoopbackLivePlugin::LoopbackCapture",
// except a refused format.
//
// Threads: Open, GetInfo and the destructor on the host's thread; Run and
// every sink call (SetFormat, Write) on the capture thread. The sink is
// borrowed and must stay valid until the source is deleted; the host's thread
// writes it only before the thread starts. The ready flag is written only by
// the capture thread.
//
// Layout: IVxAudioLive (through VxAudioLiveBase) is the first base, so a
// pointer to the source is its interface pointer.
// Windows only.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "foundation/runtime/VxThread.h"
#include "live_Main/boundary/IVxAudioLive.h"
#include "sources/loopback/VxCoreAudio.h"

class CLoopbackLivePlugin final : public VxAudioLiveBase, public VxThread {
 public:
  static constexpr int32_t kThreadPriority = THREAD_PRIORITY_TIME_CRITICAL;
  // Pause before asking an empty or failing endpoint again.
  static constexpr DWORD kPollMs = 1;

  CLoopbackLivePlugin() noexcept;

  VX_SCALAR_DELETING_DESTRUCTOR(CLoopbackLivePlugin)
  // `parameters` is not read. 0 once capture runs; -1 when the thread ended
  // before that (no endpoint, a failing step, a refused format).
  int32_t Open(const char16_t* parameters, IVxAudioLiveSink* sink) noexcept override;
  // GetInfo: 0 writes "Loopback" and its terminator (18 bytes); 1 and 2 answer 1.
  static constexpr VxSourceInfo kInfo{u"Loopback", 1, 1};

  ~CLoopbackLivePlugin() override;

 protected:
  bool Run() override;

 private:
  // Opens `device` for loopback capture and streams until a stop is requested.
  // S_OK after a stream that ran; otherwise the failing step's HRESULT.
  HRESULT LoopbackCapture(IMMDevice* device) noexcept;
  void PacketLoop(IAudioCaptureClient* capture, const VxAudioFormat& format) noexcept;

  IVxAudioLiveSink* sink_ = nullptr;
  std::atomic<uint8_t> ready_{0};
};

// Creates the source that the factory hands out for index 1.
IVxAudioLive* VxCreateLoopbackLivePlugin() noexcept;
