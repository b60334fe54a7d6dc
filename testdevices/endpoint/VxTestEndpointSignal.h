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
#include <vector>

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

// Serves the signal of one format fast enough for eight channels at 192 kHz in
// real time: one period of each channel's wave is computed up front.
class VxTestSignalGenerator {
 public:
  explicit VxTestSignalGenerator(const VxTestSignalFormat& f)
      : format_(f), kind_(VxTestSignalKindOf(f)), bytes_(f.bitsPerSample / 8u) {
    const unsigned valid = f.validBitsPerSample == 0 || f.validBitsPerSample > f.bitsPerSample
                               ? f.bitsPerSample
                               : f.validBitsPerSample;
    keepMask_ = valid >= 32 ? 0xFFFFFFFFu : ~((1u << (32 - valid)) - 1);
    if (kind_ == VxTestSignalKind::kBytes)
      return;
    levels_.resize(f.channels);
    for (unsigned c = 0; c < f.channels; ++c) {
      const unsigned period = 100 + 10 * (c % 64);
      levels_[c].resize(period);
      for (unsigned phase = 0; phase < period; ++phase)
        levels_[c][phase] = VxTestSignalLevel(phase, c);
    }
  }

  // Writes frames [firstFrame, firstFrame + frames), BlockAlign() bytes each.
  void Fill(uint64_t firstFrame, uint32_t frames, uint8_t* out) const {
    const uint32_t block = format_.BlockAlign();
    if (kind_ == VxTestSignalKind::kBytes) {
      for (uint32_t i = 0; i < frames; ++i)
        for (uint32_t b = 0; b < block; ++b)
          out[static_cast<size_t>(i) * block + b] = VxTestSignalByte(firstFrame + i, b);
      return;
    }
    const unsigned channels = format_.channels;
    std::vector<uint32_t> phase(channels);
    for (unsigned c = 0; c < channels; ++c)
      phase[c] = static_cast<uint32_t>(firstFrame % levels_[c].size());
    uint8_t* p = out;
    for (uint32_t i = 0; i < frames; ++i) {
      const uint64_t frame = firstFrame + i;
      for (unsigned c = 0; c < channels; ++c, p += bytes_) {
        const int32_t level = levels_[c][phase[c]];
        if (++phase[c] == levels_[c].size())
          phase[c] = 0;
        if (kind_ == VxTestSignalKind::kFloat) {
          const double x = level / 8388608.0;
          if (bytes_ == 4) {
            const float v = static_cast<float>(x);
            std::memcpy(p, &v, 4);
          } else {
            std::memcpy(p, &x, 8);
          }
          continue;
        }
        const uint32_t s =
            ((static_cast<uint32_t>(level) << 8) | ((frame + 31 * c) & 0xFF)) & keepMask_;
        if (bytes_ == 1) {
          p[0] = static_cast<uint8_t>((s >> 24) ^ 0x80);
        } else {
          for (unsigned b = 0; b < bytes_; ++b)  // little-endian, top bytes_ bytes of s
            p[b] = static_cast<uint8_t>(s >> (8 * (4 - bytes_ + b)));
        }
      }
    }
  }

 private:
  VxTestSignalFormat format_;
  VxTestSignalKind kind_;
  unsigned bytes_;
  uint32_t keepMask_ = 0xFFFFFFFFu;
  std::vector<std::vector<int32_t>> levels_;
};

inline void VxTestSignalFill(const VxTestSignalFormat& f,
                             uint64_t firstFrame,
                             uint32_t frames,
                             uint8_t* out) {
  VxTestSignalGenerator(f).Fill(firstFrame, frames, out);
}
