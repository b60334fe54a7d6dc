#include "sources/asio/VxAsioInterleave.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#define VX_INTERLEAVE_SSE2 1
#endif

namespace {

// Frames per pass: one pass writes a stretch of the block that stays in cache
// while every channel group adds its samples to it.
constexpr int kFramesPerPass = 256;

// One channel into every `stride`-th sample of `out`; null input is silence.
template <int kBytes>
void CopyChannel(uint8_t* out, const uint8_t* in, int frames, size_t stride) {
  if (!in) {
    for (int f = 0; f < frames; ++f, out += stride)
      std::memset(out, 0, kBytes);
    return;
  }
  for (int f = 0; f < frames; ++f, out += stride, in += kBytes)
    std::memcpy(out, in, kBytes);
}

#if VX_INTERLEAVE_SSE2
inline __m128i Load(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void Store(uint8_t* p, __m128i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}
inline void Store8(uint8_t* p, __m128i v) {
  _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v);
}
inline void Store4(uint8_t* p, __m128i v) {
  const int x = _mm_cvtsi128_si32(v);
  std::memcpy(p, &x, 4);
}

// A group of channels that fills whole 16-byte rows: 8 x 16-bit, 4 x 32-bit
// or 2 x 64-bit samples, transposed in registers. Returns the frames done.
template <int kBytes>
int GroupRows(uint8_t* out, const uint8_t* const* in, int frames, size_t stride);

template <>
int GroupRows<2>(uint8_t* out, const uint8_t* const* in, int frames, size_t stride) {
  int f = 0;
  for (; f + 8 <= frames; f += 8) {
    __m128i r[8];
    for (int c = 0; c < 8; ++c)
      r[c] = Load(in[c] + f * 2);
    const __m128i a0 = _mm_unpacklo_epi16(r[0], r[1]), a1 = _mm_unpackhi_epi16(r[0], r[1]);
    const __m128i a2 = _mm_unpacklo_epi16(r[2], r[3]), a3 = _mm_unpackhi_epi16(r[2], r[3]);
    const __m128i a4 = _mm_unpacklo_epi16(r[4], r[5]), a5 = _mm_unpackhi_epi16(r[4], r[5]);
    const __m128i a6 = _mm_unpacklo_epi16(r[6], r[7]), a7 = _mm_unpackhi_epi16(r[6], r[7]);
    const __m128i b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2);
    const __m128i b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3);
    const __m128i b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6);
    const __m128i b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
    uint8_t* o = out + static_cast<size_t>(f) * stride;
    Store(o, _mm_unpacklo_epi64(b0, b4));
    Store(o + stride, _mm_unpackhi_epi64(b0, b4));
    Store(o + 2 * stride, _mm_unpacklo_epi64(b1, b5));
    Store(o + 3 * stride, _mm_unpackhi_epi64(b1, b5));
    Store(o + 4 * stride, _mm_unpacklo_epi64(b2, b6));
    Store(o + 5 * stride, _mm_unpackhi_epi64(b2, b6));
    Store(o + 6 * stride, _mm_unpacklo_epi64(b3, b7));
    Store(o + 7 * stride, _mm_unpackhi_epi64(b3, b7));
  }
  return f;
}

template <>
int GroupRows<4>(uint8_t* out, const uint8_t* const* in, int frames, size_t stride) {
  int f = 0;
  for (; f + 4 <= frames; f += 4) {
    const __m128i r0 = Load(in[0] + f * 4), r1 = Load(in[1] + f * 4);
    const __m128i r2 = Load(in[2] + f * 4), r3 = Load(in[3] + f * 4);
    const __m128i a0 = _mm_unpacklo_epi32(r0, r1), a1 = _mm_unpackhi_epi32(r0, r1);
    const __m128i a2 = _mm_unpacklo_epi32(r2, r3), a3 = _mm_unpackhi_epi32(r2, r3);
    uint8_t* o = out + static_cast<size_t>(f) * stride;
    Store(o, _mm_unpacklo_epi64(a0, a2));
    Store(o + stride, _mm_unpackhi_epi64(a0, a2));
    Store(o + 2 * stride, _mm_unpacklo_epi64(a1, a3));
    Store(o + 3 * stride, _mm_unpackhi_epi64(a1, a3));
  }
  return f;
}

template <>
int GroupRows<8>(uint8_t* out, const uint8_t* const* in, int frames, size_t stride) {
  int f = 0;
  for (; f + 2 <= frames; f += 2) {
    const __m128i r0 = Load(in[0] + f * 8), r1 = Load(in[1] + f * 8);
    uint8_t* o = out + static_cast<size_t>(f) * stride;
    Store(o, _mm_unpacklo_epi64(r0, r1));
    Store(o + stride, _mm_unpackhi_epi64(r0, r1));
  }
  return f;
}

// Two neighbouring channels of 16- or 32-bit samples.
template <int kBytes>
int PairRows(uint8_t* out, const uint8_t* const* in, int frames, size_t stride) {
  int f = 0;
  if constexpr (kBytes == 2) {
    for (; f + 8 <= frames; f += 8) {
      const __m128i l = Load(in[0] + f * 2), r = Load(in[1] + f * 2);
      __m128i lo = _mm_unpacklo_epi16(l, r), hi = _mm_unpackhi_epi16(l, r);
      uint8_t* o = out + static_cast<size_t>(f) * stride;
      for (int i = 0; i < 4; ++i, o += stride, lo = _mm_srli_si128(lo, 4))
        Store4(o, lo);
      for (int i = 0; i < 4; ++i, o += stride, hi = _mm_srli_si128(hi, 4))
        Store4(o, hi);
    }
  } else if constexpr (kBytes == 4) {
    for (; f + 4 <= frames; f += 4) {
      const __m128i l = Load(in[0] + f * 4), r = Load(in[1] + f * 4);
      const __m128i lo = _mm_unpacklo_epi32(l, r), hi = _mm_unpackhi_epi32(l, r);
      uint8_t* o = out + static_cast<size_t>(f) * stride;
      Store8(o, lo);
      Store8(o + stride, _mm_srli_si128(lo, 8));
      Store8(o + 2 * stride, hi);
      Store8(o + 3 * stride, _mm_srli_si128(hi, 8));
    }
  }
  return f;
}
#endif

template <int kBytes>
void InterleaveFixed(uint8_t* out, const void* const* data, int channels, int frames) {
  const size_t stride = static_cast<size_t>(channels) * kBytes;
  for (int start = 0; start < frames; start += kFramesPerPass) {
    const int count = frames - start < kFramesPerPass ? frames - start : kFramesPerPass;
    uint8_t* passOut = out + static_cast<size_t>(start) * stride;
    const uint8_t* in[16];
    int c = 0;
    while (c < channels) {
      int group = 1;
#if VX_INTERLEAVE_SSE2
      constexpr int kRow = 16 / kBytes;
      // The widest group whose channels all have data: a full row, else a pair.
      auto usable = [&](int n) {
        if (c + n > channels)
          return false;
        for (int g = 0; g < n; ++g) {
          if (!data[c + g])
            return false;
          in[g] = static_cast<const uint8_t*>(data[c + g]) + static_cast<size_t>(start) * kBytes;
        }
        return true;
      };
      int done = 0;
      if constexpr (kBytes == 2 || kBytes == 4 || kBytes == 8) {
        if (usable(kRow)) {
          group = kRow;
          done = GroupRows<kBytes>(passOut + c * kBytes, in, count, stride);
        } else if (kBytes <= 4 && usable(2)) {
          group = 2;
          done = PairRows<kBytes>(passOut + c * kBytes, in, count, stride);
        }
      }
#else
      const int done = 0;
#endif
      for (int g = 0; g < group; ++g) {
        const auto* channel = static_cast<const uint8_t*>(data[c + g]);
        CopyChannel<kBytes>(
            passOut + static_cast<size_t>(done) * stride + (c + g) * kBytes,
            channel ? channel + static_cast<size_t>(start + done) * kBytes : nullptr, count - done,
            stride);
      }
      c += group;
    }
  }
}

// Packed 24-bit samples: every sample but those of the last frame is moved as
// four bytes, whose extra byte the next sample then overwrites. Reads stay
// inside each channel's half: the last frame is copied three bytes at a time.
void Interleave24(uint8_t* out, const void* const* data, int channels, int frames) {
  const uint8_t* in[32];
  const int n = channels < 32 ? channels : 32;
  bool allPresent = channels <= 32;
  for (int c = 0; c < n; ++c) {
    in[c] = static_cast<const uint8_t*>(data[c]);
    allPresent = allPresent && in[c];
  }
  if (!allPresent)
    return InterleaveFixed<3>(out, data, channels, frames);
  // Frame by frame, so a four-byte store's extra byte always lands on the
  // sample written next (the next channel, or the next frame's first).
  uint8_t* o = out;
  for (int f = 0; f + 1 < frames; ++f) {
    const size_t at = static_cast<size_t>(f) * 3;
    for (int c = 0; c < channels; ++c, o += 3)
      std::memcpy(o, in[c] + at, 4);
  }
  const size_t last = static_cast<size_t>(frames - 1) * 3;
  for (int c = 0; c < channels; ++c, o += 3)
    std::memcpy(o, in[c] + last, 3);
}

}  // namespace

void VxInterleave(uint8_t* out,
                  const void* const* data,
                  int channels,
                  int frames,
                  int bytesPerSample) noexcept {
  if (channels <= 0 || frames <= 0 || bytesPerSample <= 0)
    return;
  const size_t channelBytes = static_cast<size_t>(frames) * static_cast<size_t>(bytesPerSample);
  if (channels == 1) {
    if (data[0])
      std::memcpy(out, data[0], channelBytes);
    else
      std::memset(out, 0, channelBytes);
    return;
  }
  switch (bytesPerSample) {
    case 2:
      return InterleaveFixed<2>(out, data, channels, frames);
    case 3:
      return Interleave24(out, data, channels, frames);
    case 4:
      return InterleaveFixed<4>(out, data, channels, frames);
    case 8:
      return InterleaveFixed<8>(out, data, channels, frames);
    default:
      break;
  }
  const size_t stride = static_cast<size_t>(channels) * static_cast<size_t>(bytesPerSample);
  for (int c = 0; c < channels; ++c) {
    const auto* in = static_cast<const uint8_t*>(data[c]);
    uint8_t* o = out + static_cast<size_t>(c) * static_cast<size_t>(bytesPerSample);
    for (int f = 0; f < frames; ++f, o += stride) {
      if (in)
        std::memcpy(o, in + static_cast<size_t>(f) * bytesPerSample, bytesPerSample);
      else
        std::memset(o, 0, bytesPerSample);
    }
  }
}
