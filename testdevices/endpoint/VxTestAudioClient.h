// IAudioClient of one test endpoint, and the IAudioCaptureClient it serves.
//
// Made by IMMDevice::Activate; owned by its COM references. The capture client
// holds a reference to the audio client, as the system's does, so the stream
// outlives whichever is released first. Every call is recorded with its
// thread; the configured faults answer instead of the real work.
#pragma once

#include <audioclient.h>
#include <windows.h>

#include <atomic>
#include <memory>

#include "testdevices/endpoint/VxTestAudioClientMethods.h"
#include "testdevices/endpoint/VxTestComObject.h"
#include "testdevices/endpoint/VxTestEndpointConfig.h"
#include "testdevices/endpoint/VxTestStream.h"

class VxTestAudioClient final : public VxTestComObject<IAudioClient> {
 public:
  VxTestAudioClient(const VxTestEndpointConfig& config, uint32_t endpoint) noexcept;

  VxTestStream& Stream() noexcept { return stream_; }

  VX_TEST_AUDIO_CLIENT_METHODS

  // The configured mix format, allocated with CoTaskMemAlloc: an extensible
  // structure for tag 0xFFFE, a plain 18-byte one otherwise.
  static WAVEFORMATEX* NewMixFormat(const VxTestEndpointConfig& config) noexcept;

 private:
  ~VxTestAudioClient() override;

  const VxTestEndpointConfig config_;
  const uint32_t endpoint_;
  VxTestStream stream_;
  std::atomic<bool> initialized_{false};
  std::atomic<bool> started_{false};
};

class VxTestCaptureClient final : public VxTestComObject<IAudioCaptureClient> {
 public:
  explicit VxTestCaptureClient(VxTestAudioClient* client) noexcept;

  VX_TEST_CAPTURE_CLIENT_METHODS

 private:
  ~VxTestCaptureClient() override;

  VxTestAudioClient* const client_;  // one reference held
};
