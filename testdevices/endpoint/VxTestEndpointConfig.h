// What the test endpoint is told to be, kept as values under
// HKEY_CURRENT_USER\Software\VxTestEndpoint (value names in the README).
//
// The endpoint reads the values each time its class object or an enumerator is
// created; the control library writes them. A missing value takes the default
// below. Windows only; no threads of its own.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "testdevices/endpoint/VxTestEndpointSignal.h"

inline constexpr wchar_t kVxTestEndpointKey[] = L"Software\\VxTestEndpoint";
// Fault lengths: this many milliseconds means "until the stream ends".
inline constexpr uint32_t kVxTestEndpointForever = 0xFFFFFFFFu;
inline constexpr uint32_t kVxTestEndpointNoDefault = 0xFFFFFFFFu;

struct VxTestEndpointConfig {
  // Active playback endpoints, by friendly name; empty means none.
  std::vector<std::wstring> endpoints{L"Speakers (Vx Test Endpoint)"};
  uint32_t defaultEndpoint = 0;  // index into endpoints, or kVxTestEndpointNoDefault

  // Mix format.
  uint32_t formatTag = 0xFFFE;
  uint32_t subTag = 3;  // tag 0xFFFE: sub-type {0000tttt-0000-0010-8000-00AA00389B71}
  uint32_t sampleRate = 48000;
  uint32_t channels = 2;
  uint32_t bitsPerSample = 32;
  uint32_t validBitsPerSample = 0;  // 0: same as bitsPerSample
  uint32_t channelMask = 3;

  // Stream.
  uint32_t packetFrames = 0;  // 0: sampleRate / 100 (10 ms)
  uint32_t realTime = 1;      // 1: packets as wall time passes; 0: one whenever asked
  // In real time, the engine holds this many packets; older frames not
  // fetched in time are overwritten and counted lost (0: it holds them all).
  uint32_t engineBufferPeriods = 3;
  uint32_t gapAfterFrames = 0;  // packets stop for gapMs after this many frames
  uint32_t gapMs = 0;           // 0: no gap
  uint32_t gapRepeat = 0;       // 1: another gap after every further gapAfterFrames
  uint32_t silentEvery = 4;     // every n-th packet is flagged silent (bytes unchanged); 0: none
  // Volume notifications go out on a thread of their own this long after the
  // change, holding the callback's reference meanwhile (races a teardown).
  uint32_t notifyDelayMs = 0;

  // Faults: an HRESULT to answer instead of success (0: none).
  uint32_t failCreate = 0;          // DllGetClassObject
  uint32_t failActivate = 0;        // IMMDevice::Activate(IAudioClient)
  uint32_t failActivateVolume = 0;  // IMMDevice::Activate(IAudioEndpointVolume)
  uint32_t failGetMixFormat = 0;
  uint32_t mixFormatOnFailure = 0;  // 1: the failing GetMixFormat still returns a structure
  uint32_t failInitialize = 0;
  uint32_t failGetService = 0;
  uint32_t failStart = 0;
  // GetNextPacketSize and GetBuffer fail with failStreamHr for failStreamMs
  // once failStreamAfterFrames frames were handed out (failStreamMs 0: never).
  // AUDCLNT_E_DEVICE_INVALIDATED never ends and fails every later call.
  uint32_t failStreamAfterFrames = 0;
  uint32_t failStreamMs = 0;
  uint32_t failStreamHr = 0x88890004;  // AUDCLNT_E_DEVICE_INVALIDATED

  // Record file (empty: nothing recorded) and whether every packet gets a line.
  std::wstring recordFile;
  uint32_t recordPackets = 1;

  // 1: the audio client and capture client come from the system's own capture
  // endpoint whose friendly name contains realCaptureEndpoint (the other
  // objects stay the test endpoint's). The stream settings and faults above
  // do not apply to them.
  uint32_t realCapture = 0;
  std::wstring realCaptureEndpoint = L"Monitor";

  uint32_t EffectivePacketFrames() const {
    const uint32_t frames = packetFrames != 0 ? packetFrames : sampleRate / 100;
    return frames != 0 ? frames : 1;
  }
  uint32_t EffectiveValidBits() const {
    return validBitsPerSample != 0 ? validBitsPerSample : bitsPerSample;
  }
  uint32_t BlockAlign() const { return channels * bitsPerSample / 8; }
  VxTestSignalFormat SignalFormat() const {
    VxTestSignalFormat f;
    f.formatTag = static_cast<uint16_t>(formatTag);
    f.subTag = static_cast<uint16_t>(subTag);
    f.channels = static_cast<uint16_t>(channels);
    f.bitsPerSample = static_cast<uint16_t>(bitsPerSample);
    f.validBitsPerSample = static_cast<uint16_t>(EffectiveValidBits());
    return f;
  }

  // Sets one value by its registry name from text: numbers in decimal or 0x
  // hexadecimal, Endpoints as names separated by '|' (empty: none). False for
  // an unknown name or a malformed number.
  [[nodiscard]] bool SetValue(const std::wstring& name, const std::wstring& value) noexcept;

  // Reads the key; values that are missing keep their defaults.
  static VxTestEndpointConfig Read() noexcept;
  // Replaces the whole key with this configuration.
  [[nodiscard]] bool Write() const noexcept;
  // Removes the key: every value back to its default.
  static void Clear() noexcept;
};
