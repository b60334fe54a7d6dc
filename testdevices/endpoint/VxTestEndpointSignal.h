// The test endpoint's deterministic signal, shared by the endpoint (which
// serves it), the tests and the recording checker (which compare against it).
//
// A sample is a function of the frame number (counted from the first frame the
// capture client handed out) and the channel only, encoded in the mix format:
//  - integer PCM of 8, 16, 24 or 32 container bits: a triangle wave whose period
//    depends on the channel, left-justified, with the bits below the valid bits
//    cleared (8-bit samples are unsigned, offset 128);
//  - IEEE float of 32 or 64 bits: the same wave as a fraction of full scale,
//    exactly representable, so both sides agree bit for bit;
//  - any other tag, sub-type or width: a byte pattern of frame and byte index.
// Header-only and portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

struct VxTestSignalFormat {
  uint16_t formatTag = 0xFFFE;
  uint16_t subTag = 3;  // with tag 0xFFFE: the sub-type's tag (1 PCM, 3 float, ...)
  uint16_t channels = 2;
  uint16_t bitsPerSample = 32;
  uint16_t validBitsPerSample = 32;

  uint32_t BlockAlign() const { return uint32_t{channels} * bitsPerSample / 8; }
};

enum class VxTestSignalKind { kInteger, kFloat, kBytes };

inline VxTestSignalKind VxTestSignalKindOf(const VxTestSignalFormat& f) {
  const uint16_t tag = f.formatTag == 0xFFFE ? f.subTag : f.formatTag;
  const uint16_t bits = f.bitsPerSample;
  if (tag == 1 && (bits == 8 || bits == 16 || bits == 24 || bits == 32))
    return VxTestSignalKind::kInteger;
  if (tag == 3 && (bits == 32 || bits == 64))
    return VxTestSignalKind::kFloat;
  return VxTestSignalKind::kBytes;
}

// Triangle wave in [-2^22, 2^22] (half of 24-bit full scale), period 100 + 10 ×
// channel frames, so channels differ and a swapped or shifted channel shows.
inline int32_t VxTestSignalLevel(uint64_t frame, unsigned channel) {
  const int64_t period = 100 + 10 * static_cast<int64_t>(channel % 64);
  const int64_t phase = static_cast<int64_t>(frame % static_cast<uint64_t>(period));
  constexpr int64_t kAmp = int64_t{1} << 22;
  const int64_t v =
      phase * 2 < period ? -kAmp + 4 * kAmp * phase / period : 3 * kAmp - 4 * kAmp * phase / period;
  return static_cast<int32_t>(v);
}

// The 32-bit left-justified integer sample; the low byte carries frame and
// channel so that truncation and byte order errors in wide formats show too.
inline int32_t VxTestSignalSample32(uint64_t frame, unsigned channel) {
  const uint32_t level = static_cast<uint32_t>(VxTestSignalLevel(frame, channel)) << 8;
  return static_cast<int32_t>(level | ((frame + 31 * channel) & 0xFF));
}

inline uint8_t VxTestSignalByte(uint64_t frame, uint32_t byteInFrame) {
  uint64_t z = frame * 0x9E3779B97F4A7C15ull + byteInFrame * 0xBF58476D1CE4E5B9ull;
  z ^= z >> 29;
  return static_cast<uint8_t>(z ^ (z >> 8));
}

// Writes frames [firstFrame, firstFrame + frames) in the format, BlockAlign()
// bytes per frame.
inline void VxTestSignalFill(const VxTestSignalFormat& f,
                             uint64_t firstFrame,
                             uint32_t frames,
                             uint8_t* out) {
  const uint32_t block = f.BlockAlign();
  const VxTestSignalKind kind = VxTestSignalKindOf(f);
  const unsigned bytes = f.bitsPerSample / 8;
  const unsigned valid = f.validBitsPerSample == 0 || f.validBitsPerSample > f.bitsPerSample
                             ? f.bitsPerSample
                             : f.validBitsPerSample;
  const uint32_t keepMask = valid >= 32 ? 0xFFFFFFFFu : ~((1u << (32 - valid)) - 1);
  for (uint32_t i = 0; i < frames; ++i) {
    const uint64_t frame = firstFrame + i;
    uint8_t* p = out + static_cast<size_t>(i) * block;
    if (kind == VxTestSignalKind::kBytes) {
      for (uint32_t b = 0; b < block; ++b)
        p[b] = VxTestSignalByte(frame, b);
      continue;
    }
    for (unsigned c = 0; c < f.channels; ++c, p += bytes) {
      if (kind == VxTestSignalKind::kFloat) {
        const double x = VxTestSignalLevel(frame, c) / 8388608.0;
        if (bytes == 4) {
          const float v = static_cast<float>(x);
          std::memcpy(p, &v, 4);
        } else {
          std::memcpy(p, &x, 8);
        }
        continue;
      }
      const uint32_t s = static_cast<uint32_t>(VxTestSignalSample32(frame, c)) & keepMask;
      if (bytes == 1) {
        p[0] = static_cast<uint8_t>((s >> 24) ^ 0x80);
      } else {
        for (unsigned b = 0; b < bytes; ++b)  // little-endian, top `bytes` bytes of s
          p[b] = static_cast<uint8_t>(s >> (8 * (4 - bytes + b)));
      }
    }
  }
}
