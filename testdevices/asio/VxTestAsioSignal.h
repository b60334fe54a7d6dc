// The test ASIO driver's input signal, shared by the driver (which writes it
// into its buffer halves), the tests, the benchmark and the reference host's
// recording check (which compute the bytes a source must deliver).
//
// Every input channel carries a half-scale sawtooth whose 32-bit phase is
//   phase(channel, frame) = frame * step(channel) + channel * 0x9E3779B9   (mod 2^32)
//   step(channel)         = 10737419 * (2 * channel + 1)
// so channel 0 rises through full scale about every 400 frames (120 Hz at
// 48 kHz) and channel c at 2c+1 times that. The step is odd, so the phase only
// repeats after 2^32 frames: a dropped, repeated or reordered block, or a
// channel taken from the wrong place, shows up in the bytes. `channel` is the
// driver's input channel number (the channel offset counts), `frame` counts
// from 0 at the first buffer switch after start().
//
// The signed value x = int32(phase) >> 1 becomes each sample type as follows
// (every type in the byte order its name gives):
//   16-bit: x >> 16          24-bit (packed, 3 bytes): x >> 8      32-bit: x
//   32-bit with 16/18/20/24 significant bits: x >> (32 - bits), sign-extended
//   float: x / 2^31 (as double, then rounded to float for the 32-bit type)
//   DSD (all three types): one byte per frame, the phase's top byte.
//
// Header only; needs nothing but the sample type numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "sources/asio/VxAsioInterface.h"

// Bytes one sample of `type` takes in a buffer half; 0 for an unknown type.
inline int VxTestAsioBytesPerSample(ASIOSampleType type) {
  switch (type) {
    case ASIOSTInt16MSB:
    case ASIOSTInt16LSB:
      return 2;
    case ASIOSTInt24MSB:
    case ASIOSTInt24LSB:
      return 3;
    case ASIOSTInt32MSB:
    case ASIOSTInt32LSB:
    case ASIOSTFloat32MSB:
    case ASIOSTFloat32LSB:
    case ASIOSTInt32MSB16:
    case ASIOSTInt32MSB18:
    case ASIOSTInt32MSB20:
    case ASIOSTInt32MSB24:
    case ASIOSTInt32LSB16:
    case ASIOSTInt32LSB18:
    case ASIOSTInt32LSB20:
    case ASIOSTInt32LSB24:
      return 4;
    case ASIOSTFloat64MSB:
    case ASIOSTFloat64LSB:
      return 8;
    case ASIOSTDSDInt8LSB1:
    case ASIOSTDSDInt8MSB1:
    case ASIOSTDSDInt8NER8:
      return 1;
    default:
      return 0;
  }
}

inline uint32_t VxTestAsioPhase(int channel, uint64_t frame) {
  const uint32_t step = 10737419u * (2u * static_cast<uint32_t>(channel) + 1u);
  return static_cast<uint32_t>(frame) * step + static_cast<uint32_t>(channel) * 0x9E3779B9u;
}

// The sawtooth as a signed 32-bit value in [-2^30, 2^30).
inline int32_t VxTestAsioWave(int channel, uint64_t frame) {
  return static_cast<int32_t>(VxTestAsioPhase(channel, frame)) >> 1;
}

// Writes one sample (VxTestAsioBytesPerSample(type) bytes) to `out`.
inline void VxTestAsioSample(ASIOSampleType type, int channel, uint64_t frame, uint8_t* out) {
  const int32_t x = VxTestAsioWave(channel, frame);
  uint64_t bits = 0;
  int bytes = VxTestAsioBytesPerSample(type);
  bool bigEndian = type < ASIOSTInt16LSB;
  switch (type) {
    case ASIOSTInt16MSB:
    case ASIOSTInt16LSB:
      bits = static_cast<uint16_t>(x >> 16);
      break;
    case ASIOSTInt24MSB:
    case ASIOSTInt24LSB:
      bits = static_cast<uint32_t>(x >> 8) & 0xFFFFFFu;
      break;
    case ASIOSTInt32MSB:
    case ASIOSTInt32LSB:
      bits = static_cast<uint32_t>(x);
      break;
    case ASIOSTFloat32MSB:
    case ASIOSTFloat32LSB: {
      const float f = static_cast<float>(static_cast<double>(x) / 2147483648.0);
      uint32_t u;
      std::memcpy(&u, &f, 4);
      bits = u;
      break;
    }
    case ASIOSTFloat64MSB:
    case ASIOSTFloat64LSB: {
      const double d = static_cast<double>(x) / 2147483648.0;
      std::memcpy(&bits, &d, 8);
      break;
    }
    case ASIOSTInt32MSB16:
    case ASIOSTInt32LSB16:
      bits = static_cast<uint32_t>(x >> 16);
      break;
    case ASIOSTInt32MSB18:
    case ASIOSTInt32LSB18:
      bits = static_cast<uint32_t>(x >> 14);
      break;
    case ASIOSTInt32MSB20:
    case ASIOSTInt32LSB20:
      bits = static_cast<uint32_t>(x >> 12);
      break;
    case ASIOSTInt32MSB24:
    case ASIOSTInt32LSB24:
      bits = static_cast<uint32_t>(x >> 8);
      break;
    case ASIOSTDSDInt8LSB1:
    case ASIOSTDSDInt8MSB1:
    case ASIOSTDSDInt8NER8:
      bits = VxTestAsioPhase(channel, frame) >> 24;
      bigEndian = false;
      break;
    default:
      return;
  }
  for (int i = 0; i < bytes; ++i) {
    const int shift = 8 * (bigEndian ? bytes - 1 - i : i);
    out[i] = static_cast<uint8_t>(bits >> shift);
  }
}

// Fills one channel's buffer half: `frames` samples from `firstFrame` on.
inline void VxTestAsioFillChannel(ASIOSampleType type,
                                  int channel,
                                  uint64_t firstFrame,
                                  size_t frames,
                                  void* out) {
  const int bytes = VxTestAsioBytesPerSample(type);
  auto* p = static_cast<uint8_t*>(out);
  for (size_t f = 0; f < frames; ++f, p += bytes)
    VxTestAsioSample(type, channel, firstFrame + f, p);
}

// What a capture of `channels` inputs from driver channel `firstChannel` on
// holds, interleaved frame by frame: `frames` frames from `firstFrame` on.
// `out` needs frames * channels * VxTestAsioBytesPerSample(type) bytes.
inline void VxTestAsioFillInterleaved(ASIOSampleType type,
                                      int firstChannel,
                                      int channels,
                                      uint64_t firstFrame,
                                      size_t frames,
                                      uint8_t* out) {
  const int bytes = VxTestAsioBytesPerSample(type);
  for (size_t f = 0; f < frames; ++f)
    for (int c = 0; c < channels; ++c, out += bytes)
      VxTestAsioSample(type, firstChannel + c, firstFrame + f, out);
}

// Follows an interleaved recording from its first frame and counts the bytes
// that differ from the driver's signal; a trailing partial frame is held back
// until the next call completes it. Every byte counts as a mismatch when the
// frame cannot be checked (unknown type, more than 64 channels of 8 bytes).
class VxTestAsioSignalChecker {
 public:
  VxTestAsioSignalChecker(ASIOSampleType type, int firstChannel, int channels)
      : type_(type),
        firstChannel_(firstChannel),
        channels_(channels),
        frameBytes_(static_cast<size_t>(VxTestAsioBytesPerSample(type)) * channels) {}

  void Check(const void* data, size_t size) {
    if (!Valid()) {
      mismatches_ += size;
      return;
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    uint8_t expected[8 * 64];
    for (size_t i = 0; i < size; ++i) {
      partial_[partialSize_++] = bytes[i];
      if (partialSize_ < frameBytes_)
        continue;
      VxTestAsioFillInterleaved(type_, firstChannel_, channels_, frames_, 1, expected);
      for (size_t b = 0; b < frameBytes_; ++b)
        mismatches_ += expected[b] != partial_[b];
      partialSize_ = 0;
      ++frames_;
    }
  }
  uint64_t Frames() const { return frames_; }
  uint64_t Mismatches() const { return mismatches_; }
  // False when the type has no known size or the frame is too wide to check.
  bool Valid() const { return frameBytes_ > 0 && frameBytes_ <= sizeof partial_; }

 private:
  ASIOSampleType type_;
  int firstChannel_;
  int channels_;
  size_t frameBytes_;
  uint8_t partial_[8 * 64] = {};
  size_t partialSize_ = 0;
  uint64_t frames_ = 0;
  uint64_t mismatches_ = 0;
};
