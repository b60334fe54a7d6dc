#include "sources/asio/VxAsioInterleave.h"

#include <cassert>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#define VX_INTERLEAVE_X86 1
#include <immintrin.h>
#endif

namespace {

constexpr int kMaxPassFrames = 256;
alignas(64) const uint8_t kZeros[kMaxPassFrames * 8 + 64] = {};

// Frames per pass: a power of two from 16 to kMaxPassFrames whose stretch of
// the block is at most 16 KB where it can be (halving: no division per call).
int PassFrames(size_t stride) {
  int frames = kMaxPassFrames;
  while (frames > 16 && static_cast<size_t>(frames) * stride > 16384)
    frames /= 2;
  return frames;
}

namespace plain {
#define VX_TARGET
#define VX_LEVEL 0
#include "sources/asio/VxAsioInterleave.inc"
#undef VX_LEVEL
#undef VX_TARGET
}  // namespace plain

#if VX_INTERLEAVE_X86
namespace sse2 {
#define VX_TARGET __attribute__((target("sse2")))
#define VX_LEVEL 1
#include "sources/asio/VxAsioInterleave.inc"
#undef VX_LEVEL
#undef VX_TARGET
}  // namespace sse2

namespace ssse3 {
#define VX_TARGET __attribute__((target("ssse3")))
#define VX_LEVEL 2
#include "sources/asio/VxAsioInterleave.inc"
#undef VX_LEVEL
#undef VX_TARGET
}  // namespace ssse3

namespace avx2 {
#define VX_TARGET __attribute__((target("avx2")))
#define VX_LEVEL 3
#include "sources/asio/VxAsioInterleave.inc"
#undef VX_LEVEL
#undef VX_TARGET
}  // namespace avx2
#endif

using InterleaveFn = void (*)(uint8_t*, const void* const*, int, int, int);

InterleaveFn Function(VxInterleaveIsa isa) {
  switch (isa) {
#if VX_INTERLEAVE_X86
    case VxInterleaveIsa::kSse2:
      return sse2::Interleave;
    case VxInterleaveIsa::kSsse3:
      return ssse3::Interleave;
    case VxInterleaveIsa::kAvx2:
      return avx2::Interleave;
#endif
    default:
      return plain::Interleave;
  }
}

void InterleaveBy(InterleaveFn vector,
                  uint8_t* out,
                  const void* const* data,
                  int channels,
                  int frames,
                  int bytesPerSample) {
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
  if (bytesPerSample == 2 || bytesPerSample == 3 || bytesPerSample == 4 || bytesPerSample == 8)
    return vector(out, data, channels, frames, bytesPerSample);
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

}  // namespace

bool VxInterleaveIsaAvailable(VxInterleaveIsa isa) noexcept {
  switch (isa) {
    case VxInterleaveIsa::kPlain:
      return true;
#if VX_INTERLEAVE_X86
    case VxInterleaveIsa::kSse2:
      __builtin_cpu_init();
      return __builtin_cpu_supports("sse2");
    case VxInterleaveIsa::kSsse3:
      __builtin_cpu_init();
      return __builtin_cpu_supports("ssse3");
    case VxInterleaveIsa::kAvx2:
      // Also false when the system does not save the 256-bit registers.
      __builtin_cpu_init();
      return __builtin_cpu_supports("avx2");
#endif
    default:
      return false;
  }
}

VxInterleaveIsa VxInterleaveChosenIsa() noexcept {
  static const VxInterleaveIsa chosen = [] {
    constexpr VxInterleaveIsa kBestFirst[] = {VxInterleaveIsa::kAvx2, VxInterleaveIsa::kSsse3,
                                              VxInterleaveIsa::kSse2};
    for (VxInterleaveIsa isa : kBestFirst) {
      if (VxInterleaveIsaAvailable(isa))
        return isa;
    }
    return VxInterleaveIsa::kPlain;
  }();
  return chosen;
}

const char* VxInterleaveIsaName(VxInterleaveIsa isa) noexcept {
  switch (isa) {
    case VxInterleaveIsa::kSse2:
      return "SSE2";
    case VxInterleaveIsa::kSsse3:
      return "SSSE3";
    case VxInterleaveIsa::kAvx2:
      return "AVX2";
    default:
      return "plain";
  }
}

void VxInterleaveWith(VxInterleaveIsa isa,
                      uint8_t* out,
                      const void* const* data,
                      int channels,
                      int frames,
                      int bytesPerSample) noexcept {
  assert(VxInterleaveIsaAvailable(isa));
  InterleaveBy(Function(isa), out, data, channels, frames, bytesPerSample);
}

void VxInterleave(uint8_t* out,
                  const void* const* data,
                  int channels,
                  int frames,
                  int bytesPerSample) noexcept {
  static const InterleaveFn chosen = Function(VxInterleaveChosenIsa());
  InterleaveBy(chosen, out, data, channels, frames, bytesPerSample);
}
